// TEMPORARY: stands in for module/registration.cpp until the registrar lands; the build
// drops this file as soon as registration.cpp exists.
#include "module/registration.h"

HRESULT RegisterServer(HINSTANCE) {
  return E_NOTIMPL;
}
HRESULT UnregisterServer(HINSTANCE) {
  return E_NOTIMPL;
}
