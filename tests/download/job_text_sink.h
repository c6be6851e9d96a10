// A receiver for the WM_JOB_TEXT events that a CFileRedirector posts: it keeps their texts.
#pragma once

#include "download/job_text_event.h"

#include <QCoreApplication>
#include <QObject>

#include <string>
#include <utility>
#include <vector>

class JobTextSink : public QObject {
public:
    bool event(QEvent* e) override
    {
        if (e->type() != WM_JOB_TEXT)
            return QObject::event(e);
        texts.push_back(static_cast<JobTextEvent*>(e)->Text().toStdString());
        return true;
    }
    // Delivers what is posted so far and hands the texts over.
    std::vector<std::string> Take()
    {
        QCoreApplication::sendPostedEvents(this, WM_JOB_TEXT);
        return std::exchange(texts, {});
    }
    std::vector<std::string> texts;
};
