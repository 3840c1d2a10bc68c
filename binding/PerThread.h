// One object of a kind per thread: Tk runs one event loop per thread, and a
// photo lives in one thread.
#ifndef VISTEL_PERTHREAD_H
#define VISTEL_PERTHREAD_H

#include <tcl.h>

template <class T>
class PerThread {
public:
    // This thread's object; with `create`, made on first use. It is freed
    // when the thread exits.
    T* Get(bool create)
    {
        T** slot = Slot();
        if (!*slot && create) {
            *slot = new T();
            Tcl_CreateThreadExitHandler(Free, this);
        }
        return *slot;
    }

private:
    T** Slot() { return (T**)Tcl_GetThreadData(&key_, sizeof(T*)); }

    // Tk's own exit handler, set up before this one and so run after it,
    // deletes the windows and photos that are left, and their command
    // traces then look the object up: they must find none, not a freed one.
    static void Free(ClientData self)
    {
        T** slot = static_cast<PerThread*>(self)->Slot();
        T* object = *slot;
        *slot = nullptr;
        delete object;
    }

    Tcl_ThreadDataKey key_ = nullptr;
};

#endif
