// The signature check: the carried key dearmored into a keyring file of its own, and gpgv in an
// empty home, so nothing of the user's keys or settings takes part.
#include "update/release_signature.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

namespace update {

namespace {

// A tool that has not answered by then (gpgv, a yt-dlp asked for its version) is stopped.
constexpr int kToolTimeoutMs = 30000;
constexpr int kPollMs = 50;
constexpr qint64 kMaxToolOutputBytes = 64 * 1024;

} // namespace

std::optional<QByteArray> DearmorKey(const QByteArray& armored)
{
    const QList<QByteArray> lines = armored.split('\n');
    qsizetype i = 0;
    while (i < lines.size() && !lines[i].trimmed().startsWith("-----BEGIN PGP PUBLIC KEY BLOCK"))
        ++i;
    // Armor headers ("Comment: ...") end at the first empty line.
    for (++i; i < lines.size() && !lines[i].trimmed().isEmpty(); ++i) {
        if (!lines[i].contains(':'))
            return std::nullopt;
    }
    QByteArray base64;
    for (++i; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        if (line.startsWith('=') || line.startsWith("-----END"))
            break;
        base64 += line;
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return *decoded;
}

std::optional<QByteArray> RunCheckTool(const QString& program, const QStringList& args,
                                       const std::atomic<bool>* cancel)
{
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(program, args);
    if (!process.waitForStarted(kToolTimeoutMs))
        return std::nullopt;
    for (int waited = 0; !process.waitForFinished(kPollMs); waited += kPollMs) {
        if (process.bytesAvailable() > kMaxToolOutputBytes || waited >= kToolTimeoutMs ||
            (cancel && cancel->load())) {
            process.kill();
            process.waitForFinished(-1);
            return std::nullopt;
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.read(kMaxToolOutputBytes);
}

bool VerifyDetachedSignature(const QString& file, const QString& signature,
                             const QByteArray& armoredKey, const QString& work,
                             const std::atomic<bool>* cancel)
{
    const std::optional<QByteArray> key = DearmorKey(armoredKey);
    if (!key || key->isEmpty())
        return false;
    const QString keyring = work + QStringLiteral("/release-key.gpg");
    QFile keyFile(keyring);
    if (!keyFile.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        keyFile.write(*key) != key->size() || !keyFile.flush())
        return false;
    keyFile.close();
    const QString home = work + QStringLiteral("/gnupg");
    if (!QDir().mkdir(home) ||
        !QFile::setPermissions(home, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                         QFileDevice::ExeOwner))
        return false;
    // The keyring holds the one key, so a good signature is that key's.
    const std::optional<QByteArray> output =
        RunCheckTool(QStandardPaths::findExecutable(QStringLiteral("gpgv")),
                     {QStringLiteral("--homedir"), home, QStringLiteral("--keyring"), keyring,
                      QStringLiteral("--status-fd"), QStringLiteral("1"), signature, file},
                     cancel);
    return output && output->contains("[GNUPG:] VALIDSIG ");
}

} // namespace update
