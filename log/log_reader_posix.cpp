#include "log/log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvane {

std::optional<TLogReadFile> TLogReadFile::Open(const std::string& APath) {
    const int fd = ::open(APath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    return TLogReadFile(fd);
}

TLogReadFile::~TLogReadFile() {
    if (FHandle >= 0) ::close(static_cast<int>(FHandle));
}

bool TLogReadFile::Info(TInfo& AInfo) const {
    struct stat st {};
    if (fstat(static_cast<int>(FHandle), &st) != 0) return false;
    AInfo.Volume = static_cast<std::uint64_t>(st.st_dev);
    AInfo.Index = static_cast<std::uint64_t>(st.st_ino);
    AInfo.Size = st.st_size;
    AInfo.Regular = S_ISREG(st.st_mode);
    return true;
}

std::int64_t TLogReadFile::ReadAt(char* ABuffer, std::size_t ASize, std::int64_t AOffset) const {
    return ::pread(static_cast<int>(FHandle), ABuffer, ASize, static_cast<off_t>(AOffset));
}

}  // namespace quorvane
