// The shell's objects need COM on the calling thread. Each call that uses
// them initialises it for its own time and undoes only what it did.
#pragma once

#include <objbase.h>

namespace corvatek::platform::windows {

class ComScope {
public:
    ComScope() : result_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) { }
    ~ComScope()
    {
        if (result_ == S_OK || result_ == S_FALSE)
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT result_;
};

} // namespace corvatek::platform::windows
