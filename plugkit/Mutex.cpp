#include "plugkit/Mutex.h"

#if defined(_WIN32)
#include <new>
#include <windows.h>
#endif

namespace plugkit
{

#if defined(_WIN32)

namespace
{
CRITICAL_SECTION* Section(unsigned char* storage)
{
    return reinterpret_cast<CRITICAL_SECTION*>(storage);
}
} // namespace

Mutex::Mutex()
{
    static_assert(sizeof(CRITICAL_SECTION) <= sizeof(mStorage));
    static_assert(alignof(CRITICAL_SECTION) <= alignof(void*));
    InitializeCriticalSection(new (mStorage) CRITICAL_SECTION);
}

Mutex::~Mutex()
{
    DeleteCriticalSection(Section(mStorage));
}

void Mutex::Enter()
{
    EnterCriticalSection(Section(mStorage));
}

void Mutex::Leave()
{
    LeaveCriticalSection(Section(mStorage));
}

#else

Mutex::Mutex() = default;
Mutex::~Mutex() = default;

void Mutex::Enter()
{
    mMutex.lock();
}

void Mutex::Leave()
{
    mMutex.unlock();
}

#endif

} // namespace plugkit
