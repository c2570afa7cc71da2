// Built without ALSA: there are no ALSA error lines to route.
#include "frontend/qt/qt_platform.h"

namespace koru {

void RouteAlsaErrorsToTheLog() {}

}  // namespace koru
