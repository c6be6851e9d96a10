// The event a tool's reader posts to the window that shows the tool's progress and errors. It
// owns its text, so the text is freed with the event whether or not the receiver shows it.
#pragma once

#include "platform/event_types.h"

#include <QByteArray>
#include <QEvent>

#include <utility>

class JobTextEvent : public QEvent {
public:
    // text: narrow, in the tool's own encoding.
    explicit JobTextEvent(QByteArray text) : QEvent(WM_JOB_TEXT), m_text(std::move(text)) {}

    const QByteArray& Text() const { return m_text; }

private:
    QByteArray m_text;
};
