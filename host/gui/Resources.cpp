#include "host/gui/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE names a function at global scope.
static void InitOndrelResources() { Q_INIT_RESOURCE(ondrel); }

namespace host::gui {

void InitResources()
{
    static const bool done = (InitOndrelResources(), true);
    (void)done;
}

} // namespace host::gui
