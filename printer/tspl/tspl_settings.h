#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// The settings the driver copies into the generator on every Open; defaults are those the
// settings schema proposes.
struct TTsplSettings {
    std::int32_t Model = 0;          // 0 not specified, 1 Kesto S, 2 Kesto M, 3 Orvel M, 4 Orvel MX
    std::int32_t BarcodeNarrow = 2;  // narrow bar of linear barcodes, dots
    std::int32_t PrintMethod = 0;    // 0 direct thermal, 1 thermal transfer
    bool _2DBarcodeAsPicture = true;
    std::int32_t PDF417DataCompression = -1;  // -1 leaves an option out
    std::int32_t PDF417CorrectionLevel = -1;
    std::int32_t PDF417CenterPattern = -1;
    std::int32_t PDF417ModuleWidth = -1;
    std::int32_t PDF417ModuleHeight = -1;
    std::int32_t PDF417Rows = 0;  // 0 leaves it out
    std::int32_t PDF417Cols = 0;
    std::int32_t PDF417Truncate = -1;
    std::int32_t DataMatrixModuleSize = 3;  // 0 leaves it out
    std::string DataMatrixSize = "10x10";
    std::string QRCodeECCLevel = "M";
    std::int32_t QRCodeCellWidth = 4;
    std::string QRCodeMode = "A";
    std::string QRCodeModel = "M1";
};

}  // namespace quorvane
