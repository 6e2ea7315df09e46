// Qt below the renderer: the check must name it.
#include <QWidget>
#include "ui/control.h"
