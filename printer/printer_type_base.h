#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "printer/field_object.h"
#include "printer/mono_bitmap.h"
#include "printer/printer_status.h"
#include "printer/raster_limits.h"
#include "printer/symbology.h"

namespace quorvane {

// One argument of AddScriptString: a signed integer for %d or a byte string for %s.
class TScriptValue {
public:
    template <std::integral T>
    requires(!std::same_as<T, bool>) TScriptValue(T AValue)
        : FIsNumber(true), FNumber(static_cast<std::int64_t>(AValue)) {}
    TScriptValue(std::string_view AValue) : FText(AValue) {}
    TScriptValue(const std::string& AValue) : FText(AValue) {}
    TScriptValue(const char* AValue) : FText(AValue) {}

    bool IsNumber() const { return FIsNumber; }
    std::int64_t Number() const { return FNumber; }
    std::string_view Text() const { return FText; }

private:
    bool FIsNumber = false;
    std::int64_t FNumber = 0;
    std::string_view FText;
};

// A field box in millimetres.
struct TFieldBox {
    std::int32_t Left;
    std::int32_t Top;
    std::int32_t Width;
    std::int32_t Height;
    bool operator==(const TFieldBox&) const = default;
};

// How a label's value takes the place of a field's token in the template.
enum class TSlotKind {
    skNone,
    // Raster data inside a command, sized by the field's box; unfilled: the blank raster. Drawing
    // a value fails only when the box is too large, whatever the value.
    skRaster,
    skInLine,    // inside a command; unfilled: nothing
    skLine,      // the field's whole line, rebuilt from the template's line; unfilled: an empty line
    skCommands,  // a line of raw commands; unfilled or empty: nothing at all
    skQuantity,  // the copy count of the final command
};

// Where a field's token is in the script: the entry and the byte offset in it.
struct TTokenPlace {
    std::size_t Entry = 0;
    std::size_t Offset = 0;
};

// The port as a language's printer set-up uses it.
struct TPrinterExchange {
    std::function<void(std::string_view)> Write;
    // Reads what has arrived, at most AMaxBytes (0: no limit); empty when nothing came.
    std::function<std::string(std::size_t AMaxBytes)> Read;
    std::function<void(int)> SleepMs;
};

// Base of printer command languages: the script under construction (one command per entry,
// bytes carried unchanged), the helpers every language shares, and what the driver asks of a
// language: the template's slots and their values, the status query and the reasons its reply gives, the
// printer's set-up and the script as the log shows it.
class TPrinterTypeBase {
public:
    TPrinterTypeBase();
    TPrinterTypeBase(const TPrinterTypeBase&) = delete;
    TPrinterTypeBase& operator=(const TPrinterTypeBase&) = delete;
    virtual ~TPrinterTypeBase();

    // The language's name: the tag of a script in the log, the extension of a script file.
    virtual std::string_view Name() const = 0;

    // What ends every command line of a script.
    virtual std::string_view LineEnd() const = 0;

    // A printer with these settings and code page but no script: a label builder on another
    // thread renders with it.
    virtual std::unique_ptr<TPrinterTypeBase> CopySettings() const = 0;

    // Code page of the text inside commands; InitialScriptActions sets it from its argument.
    virtual void SetCodepage(const std::string& AValue) = 0;

    // The slot a field written by Add... got for its token.
    virtual TSlotKind SlotKind(const TFieldObject& AField) const = 0;
    // What an unfilled skRaster slot of the field sends; fails when no raster can be that large.
    virtual std::string BlankRaster(const TFieldObject& AField) const = 0;
    // A label's value for a field's slot of AKind; ALine is the template's line of a skLine slot.
    virtual std::string SlotValue(const TFieldObject& AField, TSlotKind AKind, std::string_view ALine,
                                  std::string_view AValue) const = 0;
    // Where Add... put a field's token, looking from script entry AFirstEntry on; nothing when
    // the field left no token. The base looks for the token's text entry by entry.
    virtual std::optional<TTokenPlace> FindToken(std::string_view AToken, std::size_t AFirstEntry) const;

    // Sent before each label; the reply is one byte.
    virtual std::string_view StatusQuery() const = 0;
    // What the reply says stands in the way of the next label; AReply is empty when no byte came.
    virtual TPrinterReasons StatusReasons(std::optional<std::uint8_t> AReply) const = 0;

    // How long the printer takes for one copy of a label AHeight mm long with AGap mm between
    // labels at the template's ASpeed, in milliseconds; 0 when the language cannot tell.
    virtual double CopyPrintMs(std::int32_t /*AHeight*/, std::int32_t /*AGap*/, double /*ASpeed*/) const {
        return 0;
    }

    // Whether InitializePrinter has anything to do on this printer; by default nothing.
    virtual bool NeedsSetUp() const { return false; }
    // InitializePrinter's exchange on the open port; returns whether it changed the printer.
    virtual bool SetUpPrinter(const TPrinterExchange& /*AExchange*/) const { return false; }

    // A finished label's script as it goes out: a language may drop bytes that print nothing.
    virtual std::string SendableScript(std::string AScript) const { return AScript; }

    // A label's script as the log shows it: valid UTF-8, binary data replaced by its length.
    virtual std::string ScriptLogText(std::string_view AScript) const = 0;

    virtual void InitialScriptActions(std::int32_t AWidth, std::int32_t AHeigth, std::int32_t AGap,
                                      std::int32_t ADensity, std::int32_t ADirection, double ASpeed,
                                      const std::string& ACodepage) = 0;
    virtual void FinalScriptActions() = 0;
    virtual void AddText(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                         std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                         const std::string& AFontName, std::int32_t AFontSize, const std::string& AFontStyle,
                         const std::string& ABorder, std::int32_t ABorderWidth,
                         const std::string& ABorderStyle, const std::string& AAlign,
                         const std::string& AVAlign, bool AMultiline, bool AIsStaticField,
                         const std::string& AValue) = 0;
    virtual void AddImage(const std::string& AFieldName, std::int32_t ALeft, std::int32_t ATop,
                          std::int32_t AWidth, std::int32_t AHeight, std::int32_t AOrientation,
                          const std::string& ABorder, std::int32_t ABorderWidth,
                          const std::string& ABorderStyle, bool AIsStaticField,
                          const std::string& AValue) = 0;
    virtual void AddBarcode(const std::string& AFieldName, const TSymbology& ASymbology, std::int32_t ALeft,
                            std::int32_t ATop, std::int32_t AWidth, std::int32_t AHeight,
                            std::int32_t AOrientation, bool APrintHRI, bool ACheckSymbol, bool AIsStaticField,
                            const std::string& AValue) = 0;
    virtual void AddUserData(const std::string& AFieldName, bool AIsStaticField,
                             const std::string& AValue) = 0;

    // Clears the script: the start of a new template.
    void Init();

    // Formats AValues into AFormatString and appends the result as one script entry: "%d" takes a
    // signed integer, "%s" a byte string inserted verbatim, strictly in order; every other
    // character is copied. A value count or kind that does not match throws std::logic_error.
    void AddScriptString(std::string_view AFormatString, std::initializer_list<TScriptValue> AValues = {});

    // 90, 180, 270 give r90, r180, r270; anything else r0.
    static TRotation OrientationToRotation(std::int32_t AOrientation);

    // Text in a box AWidth x AHeight mm, drawn with the fonts at the DPI of this printer and
    // rasterised at DotInMM, rotated inside the box: a raster of exactly AWidth x DotInMM by
    // AHeight x DotInMM dots (empty when DotInMM is 0).
    TMonoBitmap GetGraphicText(std::string_view AText, std::int32_t AWidth, std::int32_t AHeight,
                               TRotation ARotation, std::int32_t AFontSize, std::string_view AFontName,
                               std::string_view AFontStyle, std::string_view AAlign, std::string_view AVAlign,
                               bool AMultiline) const;

    // A Base64 picture as a black-and-white raster; throws EImageConversion on any failure, and
    // EPictureTooLarge for a picture larger than ALimit allows.
    static TMonoBitmap GetBitmapFromBase64(std::string_view AValue, const TPictureLimit& ALimit = {});
    // PNG, JPEG, GIF or BMP bytes; std::nullopt when unknown or corrupt.
    static std::optional<TMonoBitmap> GetBitmapFromGraphic(std::span<const std::uint8_t> ABytes,
                                                           const TPictureLimit& ALimit = {});

    // A picture value as a raster: decoded, turned by ARotation, stretched to or fitted into
    // AWidth x AHeight mm. A blank value gives an empty raster. A picture far larger than the box
    // is refused with EPictureTooLarge before its pixels are decoded (a JPEG is decoded scaled
    // down instead where it can be).
    TMonoBitmap GetPictureBitmap(std::string_view ABase64String, std::int32_t AWidth, std::int32_t AHeight,
                                 TRotation ARotation) const;

    // Where the document reader puts a barcode field of ABox turned by AOrientation, so that the
    // printer draws the symbol inside the box; by default the box itself.
    virtual TFieldBox BarcodeBox(const TFieldBox& ABox, std::int32_t /*AOrientation*/,
                                 const TSymbology& /*ASymbology*/) const {
        return ABox;
    }

    std::int32_t DotInMM() const { return FDotInMM; }
    void SetDotInMM(std::int32_t AValue) { FDotInMM = AValue; }
    std::int32_t DPI() const { return FDPI; }
    void SetDPI(std::int32_t AValue) { FDPI = AValue; }
    const std::vector<std::string>& ScriptText() const { return FScriptText; }
    void SetScriptText(std::vector<std::string> AValue) { FScriptText = std::move(AValue); }
    bool IsTextGraphic() const { return FIsTextGraphic; }
    void SetIsTextGraphic(bool AValue) { FIsTextGraphic = AValue; }
    bool StretchImage() const { return FStretchImage; }
    void SetStretchImage(bool AValue) { FStretchImage = AValue; }

    // All entries, each followed by the language's line end.
    std::string Script() const;

    // A character of text written as commands that the code page lacks and that went out as "?".
    struct TUnencodable {
        std::string Character;  // UTF-8
        std::string Codepage;
    };
    // What the values written since the last call lost; the caller logs it with the field.
    std::vector<TUnencodable> TakeUnencodable() const { return std::exchange(FUnencodable, {}); }

protected:
    mutable std::vector<TUnencodable> FUnencodable;
    std::int32_t FDotInMM = 8;
    std::int32_t FDPI = 203;
    std::vector<std::string> FScriptText;
    bool FIsTextGraphic = true;
    bool FStretchImage = false;
};

}  // namespace quorvane
