#pragma once
// Everything a page, window or renderer needs from the control model.
#include "platform/ui_loop.h"
#include "ui/control.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"
#include "ui/ui_types.h"
#include "ui/window.h"
