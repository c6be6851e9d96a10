// The settings file's reader and writer on arbitrary files: a value written reads back exactly
// as written, and the values of the other names read the same as before the write. The input
// is the value (decoded as a file name, so any bytes), a zero byte, then the file.
#include "fuzz_check.h"
#include "platform/file_name.h"
#include "settings/settings_ini.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace {

const std::array<QString, 4> kNames = {QStringLiteral("AffID"), QStringLiteral("LastUpdate"),
                                       QStringLiteral("DefaultDownloadFolder"),
                                       QStringLiteral("a b=c;\"d\\")};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const QString& name = kNames[data[0] % kNames.size()];
    const QByteArrayView input(data + 1, static_cast<qsizetype>(size - 1));
    const qsizetype zero = input.indexOf('\0');
    const QString value = platform::DecodeFileName(zero < 0 ? QByteArrayView() : input.first(zero));
    const QByteArrayView file = zero < 0 ? input : input.sliced(zero + 1);

    std::array<std::optional<QString>, kNames.size()> before;
    for (std::size_t i = 0; i < kNames.size(); ++i)
        before[i] = settings::ini::ReadGeneralValue(file, kNames[i]);

    const QByteArray written = settings::ini::SetGeneralValue(file, name, value);
    const std::optional<QString> readBack = settings::ini::ReadGeneralValue(written, name);
    FUZZ_CHECK(readBack && *readBack == value);
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (kNames[i] != name)
            FUZZ_CHECK(settings::ini::ReadGeneralValue(written, kNames[i]) == before[i]);
    }
    return 0;
}
