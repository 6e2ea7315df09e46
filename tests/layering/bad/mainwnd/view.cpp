// Only the program uses the renderer.
#include "qtview/skin_view.h"
