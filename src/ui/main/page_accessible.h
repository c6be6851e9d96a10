// What screen readers hear of the download page's native controls: the fields' names, and the
// log as read-only text under its own name (a widget Qt knows nothing of by itself).
#pragma once

namespace ui {

namespace pages {
class DownloadPage;
}

// Names page's controls and makes Qt describe its log box; GUI thread.
void DescribeForScreenReaders(pages::DownloadPage& page);

} // namespace ui
