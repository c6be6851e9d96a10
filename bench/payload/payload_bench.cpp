// Start-up cost of the tool payload: scan, unscramble and extraction of the built program's
// real payload, against `unzip -o` of the same archive in the same run.
#include "app/workspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 7;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The unscrambled archive, written once for the baseline.
bool WriteArchive(const QString& program, const QString& archivePath)
{
    QFile file(program);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const QByteArray marker("\x0D\xF0\xAD\xDE", 4);
    for (qsizetype i = 0; i + 8 <= bytes.size(); i += 4) {
        if (bytes.mid(i, 4) != marker)
            continue;
        const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData() + i + 4);
        const qsizetype length = b[0] | (b[1] << 8) | (b[2] << 16) | (qsizetype(b[3]) << 24);
        QByteArray archive = bytes.mid(i + 8, length);
        for (char& c : archive)
            c = static_cast<char>(static_cast<unsigned char>(c) ^ 0xA7);
        QFile out(archivePath);
        return out.open(QIODevice::WriteOnly) && out.write(archive) == archive.size();
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString saved = QDir::currentPath();
    QTemporaryDir tmp;
    const QString program = QStringLiteral(VANDREL_EXE);
    const QString archive = tmp.filePath(QStringLiteral("payload.zip"));
    if (!WriteArchive(program, archive)) {
        std::fprintf(stderr, "bench_payload: no payload in %s\n", VANDREL_EXE);
        return 1;
    }

    std::vector<double> ours;
    std::vector<double> unzip;
    for (int round = 0; round < kRounds; ++round) {
        const QString ws = tmp.filePath(QStringLiteral("ws%1").arg(round));
        QDir().mkpath(ws);
        QElapsedTimer timer;
        timer.start();
        const bool ok = app::ExtractToolPayload(ws, program).has_value();
        ours.push_back(timer.nsecsElapsed() / 1e6);
        QDir::setCurrent(saved);
        app::RemoveDirectoryTree(ws);
        if (!ok) {
            std::fprintf(stderr, "bench_payload: extraction failed\n");
            return 1;
        }

        const QString dest = tmp.filePath(QStringLiteral("unzip%1").arg(round));
        timer.restart();
        const int code =
            QProcess::execute(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"),
                                                        archive, QStringLiteral("-d"), dest});
        unzip.push_back(timer.nsecsElapsed() / 1e6);
        app::RemoveDirectoryTree(dest);
        if (code != 0) {
            std::fprintf(stderr, "bench_payload: unzip failed (%d)\n", code);
            return 1;
        }
    }
    const double extract = Median(ours);
    std::printf("payload.extract_ms: %.1f\n", extract);
    std::printf("payload.ratio_to_unzip: %.2f\n", extract / Median(unzip));
    return 0;
}
