#pragma once
// The control classes the layers above the UI library supply to the skin's
// control factory. The library's own classes register themselves; see
// ui/skin_controls.h for the whole list and its order.
#include <map>
#include <string>

#include "ui/dialog_builder.h"

namespace korvale {

struct SuppliedControlClass {
  const char* name;
  CControlFactory::CreateClass (*creator)();  // nullptr: its layer is not linked in yet
};

// Creators from the device, editor and window layers, by class name. A row
// whose creator is empty is skipped at registration.
std::map<std::string, CControlFactory::CreateClass> SuppliedControlClasses();

}  // namespace korvale
