// A lower layer reaching up: the check must name it.
#include "mainwnd/main_wnd.h"
#include "platform/trace.h"
