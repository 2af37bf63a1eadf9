#include "shell/page.h"

namespace corvatek::shell {

Page::~Page()
{
    // One by one, in creation order; a control already gone is skipped.
    for (const auto& control : controls_)
        delete control.data();
}

} // namespace corvatek::shell
