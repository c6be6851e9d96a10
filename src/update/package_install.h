// Installing a verified Debian package: apt-get with the desktop's authorisation (pkexec), or,
// where pkexec is missing, the desktop's own package installer (xdg-open).
#pragma once

#include "platform/private_folder.h"
#include "update/update_job.h"

#include <QByteArray>

namespace update {

// Installs the package name in folder, a private folder made in the temporary folder. With
// pkexec it runs "pkexec /usr/bin/apt-get install --yes PATH" and waits for it (HandedOver,
// NotAuthorised or InstallFailed); the package stays in folder. Without pkexec the package
// moves out into the temporary folder under an installer's name ("vnd%08x-%08x.deb"), is
// recorded (update_installers.h), since the desktop's installer reads it after xdg-open has
// returned, and is opened with xdg-open (HandedOver, or InstallFailed when nothing started).
UpdateJobResult InstallPackage(const platform::PrivateFolder& folder, const QByteArray& name);

} // namespace update
