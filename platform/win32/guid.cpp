// The identifier of IUnknown, which every interface answers QueryInterface for.
#include "platform/win32/objbase.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
