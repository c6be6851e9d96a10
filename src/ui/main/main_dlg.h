// The program's main window.
#pragma once

#include <QString>

class MainDlg {
public:
    MainDlg(QString workspace, QString downloadUrl, int jobKind, QString playerFile);

    // Shows the window and returns when it has been closed.
    int Exec();

    const QString& Workspace() const { return m_workspace; }
    const QString& DownloadUrl() const { return m_downloadUrl; }
    int StartJobKind() const { return m_jobKind; }
    const QString& PlayerFile() const { return m_playerFile; }

private:
    QString m_workspace;
    QString m_downloadUrl;
    int m_jobKind;
    QString m_playerFile;
};
