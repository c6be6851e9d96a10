// The conversion's thread: one run of the converter into a new file of the workspace, checked
// by reading the copy's own first tags, and removed again when it failed or was stopped.
#include "download/flash_conversion.h"

#include "download/tool_run.h"
#include "platform/file_name.h"
#include "platform/own_file.h"
#include "platform/post_to.h"
#include "platform/temp_file_name.h"

#include <string>
#include <utility>

namespace download {

namespace {

// Read by its interpreter, as the jobs run it: the workspace may be mounted noexec.
const QString kShell = QStringLiteral("/bin/sh");

// What is kept of the converter's output: its last line says why it failed.
constexpr std::size_t kKeptOutput = 4096;
// ffmpeg ends within a moment of SIGTERM; the window waits for it when it closes.
constexpr std::chrono::milliseconds kTermGrace{1000};

QString LastLine(const std::string& output)
{
    const QString text = QString::fromUtf8(output).trimmed();
    return text.section(u'\n', -1).trimmed();
}

} // namespace

FlashConversion::FlashConversion(QString workspace, QString input, FlashCodecs codecs,
                                 QObject* owner, Done done)
    : m_workspace(std::move(workspace)), m_input(std::move(input)), m_codecs(codecs),
      m_output(platform::MakeTempFileName(QStringLiteral(".flv"), m_workspace)), m_owner(owner),
      m_done(std::move(done)), m_thread([this] {
          platform::Expected<QString> copy = Run();
          if (!copy)
              platform::RemoveOwnRegularFile(platform::EncodeFileName(m_output).constData());
          if (!m_control.StopRequested() && m_owner && m_done)
              platform::PostTo(m_owner, [done = m_done, copy = std::move(copy)] { done(copy); });
      })
{
}

FlashConversion::~FlashConversion()
{
    m_control.Stop();
    if (m_thread.joinable())
        m_thread.join();
    platform::RemoveOwnRegularFile(platform::EncodeFileName(m_output).constData());
}

QStringList FlashConversion::Arguments(const QString& input, const FlashCodecs& codecs,
                                       const QString& output)
{
    // More than "-y -i IN OUT": the converter hands the words to ffmpeg as they are.
    QStringList words{QStringLiteral("-hide_banner"),
                      QStringLiteral("-nostdin"),
                      QStringLiteral("-loglevel"),
                      QStringLiteral("error"),
                      QStringLiteral("-y"),
                      QStringLiteral("-i"),
                      input,
                      QStringLiteral("-sn"),
                      QStringLiteral("-dn")};
    if (!codecs.incomplete && codecs.video == flv::kAvc)
        words << QStringLiteral("-c:v") << QStringLiteral("copy");
    else
        // H.264 wants even sides; Flash video (VP6 with alpha too) has any.
        words << QStringList{
            QStringLiteral("-c:v"),     QStringLiteral("libx264"),
            QStringLiteral("-preset"),  QStringLiteral("ultrafast"),
            QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"),
            QStringLiteral("-vf"),      QStringLiteral("scale=trunc(iw/2)*2:trunc(ih/2)*2")};
    if (!codecs.incomplete && (codecs.audio == flv::kAac || codecs.audio == flv::kMp3))
        words << QStringLiteral("-c:a") << QStringLiteral("copy");
    else
        words << QStringLiteral("-c:a") << QStringLiteral("aac");
    // A keyframe index in the metadata lets the page's player seek to what it has not read,
    // or has let go of, yet.
    return words << QStringLiteral("-flvflags") << QStringLiteral("add_keyframe_index")
                 << QStringLiteral("-f") << QStringLiteral("flv") << output;
}

platform::Expected<QString> FlashConversion::Run()
{
    std::string output;
    ToolRun run{QStringList{kShell, m_workspace + QStringLiteral("/convert")} +
                    Arguments(m_input, m_codecs, m_output),
                m_workspace, kTermGrace};
    const platform::Expected<int> ran = run.Run(
        [&](std::string_view text) {
            output.append(text);
            if (output.size() > kKeptOutput)
                output.erase(0, output.size() - kKeptOutput);
        },
        m_control.StopEvent());
    if (!ran)
        return platform::Unexpected{ran.error()};
    if (m_control.StopRequested())
        return platform::Fail(QStringLiteral("stopped"));
    if (*ran != 0) {
        const QString said = LastLine(output);
        return platform::Fail(
            said.isEmpty() ? QStringLiteral("the converter ended with code %1").arg(*ran) : said);
    }
    // Exit code 0 with nothing the page can play (no frame was made) is a failure too.
    const std::optional<FlashCodecs> made = ReadFlashCodecs(m_output);
    if (!made || !PlaysInPage(*made))
        return platform::Fail(QStringLiteral("the converter made no video the page plays"));
    return m_output;
}

} // namespace download
