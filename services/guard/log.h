// The guard's log is the services' common one.
#pragma once

#include "common/log.h"

namespace corvatek::guard {

using service::log;
using service::Priority;

} // namespace corvatek::guard
