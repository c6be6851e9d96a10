// The version file's reader on arbitrary answers: a value it gives fits its capacity, is one
// line, and reads the same again from a file that holds only that section and that key.
#include "fuzz_check.h"
#include "update/update_version_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int capacity = 1 + data[0];
    const QByteArray text(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    for (const auto key : {u"last_version", u"last_version_url"}) {
        const std::optional<QString> value =
            update::ReadProfileString(text, u"version", key, capacity);
        if (!value)
            continue;
        FUZZ_CHECK(value->size() < capacity);
        FUZZ_CHECK(!value->contains(u'\n'));
        // Enclosing quotes are taken off once: a value that has its own again is not read back
        // as it is.
        const QString bare = value->trimmed();
        if (bare.size() >= 2 && (bare.front() == u'"' || bare.front() == u'\'') &&
            bare.back() == bare.front())
            continue;
        const QByteArray again =
            "[version]\n" + QString::fromUtf16(key).toUtf8() + '=' + bare.toUtf8() + '\n';
        const std::optional<QString> reread =
            update::ReadProfileString(again, u"version", key, capacity);
        FUZZ_CHECK(reread && reread->toUtf8() == bare.toUtf8());
    }
    return 0;
}
