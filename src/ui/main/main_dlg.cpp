#include "ui/main/main_dlg.h"

MainDlg::MainDlg(QString workspace, QString downloadUrl, int jobKind, QString playerFile)
    : m_workspace(std::move(workspace)), m_downloadUrl(std::move(downloadUrl)), m_jobKind(jobKind),
      m_playerFile(std::move(playerFile))
{
}

int MainDlg::Exec()
{
    // Until the window exists, the run ends here.
    return 0;
}
