#include "win32/AccessibleNames.h"

#include <oleacc.h>

namespace kelvane::win32 {
namespace {

// MinGW's import libraries lack this class ID; it is fixed by oleacc's interface.
constexpr CLSID kAccPropServices = {
    0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};

void annotate(IAccPropServices* services, HWND control, const MSAAPROPID& property,
              const std::wstring& text) {
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT),
                             static_cast<DWORD>(CHILDID_SELF), property, text.c_str());
}

}  // namespace

AccessibleNames::AccessibleNames() {
    void* services = nullptr;
    if (SUCCEEDED(::CoCreateInstance(kAccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IAccPropServices, &services))) {
        services_ = static_cast<IAccPropServices*>(services);
    }
}

AccessibleNames::~AccessibleNames() {
    clear();
    if (services_ != nullptr) {
        services_->Release();
    }
}

void AccessibleNames::name(HWND control, const std::wstring& name) {
    if (services_ != nullptr) {
        annotate(services_, control, PROPID_ACC_NAME, name);
        annotated_.push_back(control);
    }
}

void AccessibleNames::describe(HWND control, const std::wstring& description) {
    if (services_ != nullptr) {
        annotate(services_, control, PROPID_ACC_DESCRIPTION, description);
        annotated_.push_back(control);
    }
}

void AccessibleNames::clear() {
    MSAAPROPID properties[] = {PROPID_ACC_NAME, PROPID_ACC_DESCRIPTION};
    for (HWND control : annotated_) {
        services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT),
                                  static_cast<DWORD>(CHILDID_SELF), properties, 2);
    }
    annotated_.clear();
}

}  // namespace kelvane::win32
