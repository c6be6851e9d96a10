// What a drop on the main window carries: a web address to download, or files for the page.
#pragma once

#include <QString>
#include <QStringList>

class QMimeData;

namespace ui {

// The web address of a drop: the first http or https link of a link list, or plain text that
// is one such address. Empty for anything else (files among them).
QString DroppedAddress(const QMimeData& data);
// The local files of a drop's link list, in order.
QStringList DroppedFiles(const QMimeData& data);

} // namespace ui
