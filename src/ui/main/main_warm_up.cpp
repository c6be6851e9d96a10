// The main window's warm-up thread.
#include "ui/main/main_warm_up.h"

#include "ui/controls/png_resource.h"
#include "ui/main/main_tree.h"

#include <fontconfig/fontconfig.h>

namespace ui {

MainWindowWarmUp::MainWindowWarmUp()
    : m_thread([] {
          // The picture stays in the pictures' cache; the configuration stays loaded for Qt's
          // font database, which finds it made. Neither needs the application object.
          LoadPngResource(kMainSkinPicture);
          FcInit();
      })
{
}

} // namespace ui
