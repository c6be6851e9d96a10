// A copy of a Flash video that the player page can play (H.264 with AAC or MP3 sound, in FLV),
// made by the carried converter in the workspace on a thread of its own. The copy is the
// conversion's: it is removed when the conversion goes, finished or not.
#pragma once

#include "download/flash_codecs.h"
#include "download/job_control.h"
#include "platform/expected.h"

#include <QObject>
#include <QString>

#include <functional>
#include <thread>

namespace download {

class FlashConversion {
public:
    // Gets the copy's path, or why there is none.
    using Done = std::function<void(const platform::Expected<QString>& copy)>;

    // Starts converting input (whose first tags named codecs) into a new file in workspace, the
    // folder that holds the converter. done runs once on owner's thread, unless the conversion
    // is stopped first; owner must outlive the conversion.
    FlashConversion(QString workspace, QString input, FlashCodecs codecs, QObject* owner,
                    Done done);
    // Stops the converter and its process group, waits for its thread and removes the copy.
    ~FlashConversion();
    FlashConversion(const FlashConversion&) = delete;
    FlashConversion& operator=(const FlashConversion&) = delete;

    // The converter's words for a copy the page plays: the streams it already reads are
    // copied, the others encoded as fast as the encoder goes.
    static QStringList Arguments(const QString& input, const FlashCodecs& codecs,
                                 const QString& output);

private:
    platform::Expected<QString> Run();

    const QString m_workspace;
    const QString m_input;
    const FlashCodecs m_codecs;
    const QString m_output;
    QObject* const m_owner;
    const Done m_done;
    JobControl m_control;
    std::jthread m_thread; // last: started after, and joined before, what it uses
};

} // namespace download
