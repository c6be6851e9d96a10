// Detached OpenPGP signatures checked with gpgv against a public key the program carries, and the
// short, bounded tool runs such checks make.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

namespace update {

// A larger detached signature is not one.
inline constexpr qint64 kMaxSignatureBytes = 64 * 1024;

// The binary key packets of an ASCII-armored OpenPGP public key; nothing when it is not armored.
std::optional<QByteArray> DearmorKey(const QByteArray& armored);

// Runs program with no input and waits for it, in short steps so that cancel (may be null) is
// noticed; a run past 30 s is stopped. Its standard output (at most 64 KiB of it) when it ended
// by itself with exit code 0.
std::optional<QByteArray> RunCheckTool(const QString& program, const QStringList& args,
                                       const std::atomic<bool>* cancel);

// True when gpgv finds signature to be a good signature of file by the key in armoredKey. work is a
// private folder of the caller's, where the keyring and an empty home for gpgv are made. An empty
// or malformed key verifies nothing.
bool VerifyDetachedSignature(const QString& file, const QString& signature,
                             const QByteArray& armoredKey, const QString& work,
                             const std::atomic<bool>* cancel = nullptr);

} // namespace update
