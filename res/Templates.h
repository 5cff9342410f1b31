#pragma once

#include "framework/DialogTemplate.h"

namespace res {

const framework::DialogTemplate& MainDialogTemplate();
const framework::DialogTemplate& AboutDialogTemplate();

}  // namespace res
