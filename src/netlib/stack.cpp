/*
 * Attaching the TCP/IP stack.  The stack is known to run while a window of
 * class "KRAQClass" exists; loading its library "VXLIB32.DLL" brings it up.
 * Nothing in the stack library is called: it is only loaded and unloaded.
 */
#include "netlib/netlib.h"

namespace {

const char stack_class[] = "KRAQClass";
const char stack_library[] = "VXLIB32.DLL";

HINSTANCE stack_instance = nullptr;
int stack_attached = 0;
HWND stack_window = nullptr;
HMODULE stack_module = nullptr;

} // namespace

extern "C" HWND STACK_Window(void)
{
    if (!stack_instance)
        return nullptr;
    if (stack_attached)
        return stack_window;
    HWND found = FindWindowA(stack_class, nullptr);
    stack_window = IsWindow(found) ? found : nullptr;
    return stack_window;
}

/* A library loaded by the attach counts as attached whether or not its
 * window came up: it is loaded once, and the detach unloads it. */
extern "C" int STACK_Attach(HINSTANCE instance)
{
    if (stack_attached || stack_module || !instance)
        return 0;
    stack_instance = instance;
    if (STACK_Window()) {
        stack_attached = 1;
        return 1;
    }
    /* A load result of 32 or less is a failure, whichever loader answers. */
    HMODULE module = LoadLibraryA(stack_library);
    if ((UINT_PTR)module <= 32)
        return 0;
    stack_module = module;
    if (STACK_Window())
        stack_attached = 1;
    return 1;
}

extern "C" int STACK_Detach(void)
{
    if ((!stack_attached && !stack_module) || !stack_instance)
        return 0;
    stack_attached = 0;
    if (stack_module) {
        FreeLibrary(stack_module);
        stack_module = nullptr;
    }
    return STACK_Window() ? 1 : 0;
}
