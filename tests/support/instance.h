/* An instance carrying the library's compiled resources, for tests of code
 * that loads them without the library's own attach. */
#ifndef CALLMGR_TESTS_INSTANCE_H
#define CALLMGR_TESTS_INSTANCE_H

#include <windows.h>

HINSTANCE resource_instance();

#endif
