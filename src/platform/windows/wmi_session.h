// The COM pieces every WMI user here shares: a reference that releases itself, COM on the
// calling thread for one job, BSTRs from UTF-16 text, and one connection to root\cimv2 with
// the proxy blanket set, plus reading a property as a number or a flag.
#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>
// clang-format on

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace nicops::platform::windows {

// One reference to a COM object, released on destruction.
template <typename T>
class ComRef {
public:
    ComRef() = default;
    ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComRef& operator=(ComRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (object_ != nullptr) {
            object_->Release();
        }
    }
    T* operator->() const { return object_; }
    T* get() const { return object_; }
    T** out() { return &object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    T* object_ = nullptr;
};

// COM on this thread for the length of one job. A thread already in a single-threaded
// apartment stays there (RPC_E_CHANGED_MODE), and COM is then not ours to end.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

class Bstr {
public:
    explicit Bstr(std::u16string_view text)
        : bstr_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                  static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(bstr_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return bstr_; }

private:
    BSTR bstr_;
};

// The services of root\cimv2, reached through the locator, with the proxy blanket set. COM
// must be initialised on the thread (ComScope) for the session's whole life.
class WmiSession {
public:
    // The session, or nothing with `failure` holding the HRESULT that ended the attempt.
    static std::optional<WmiSession> open(HRESULT& failure);

    IWbemServices* services() const { return services_.get(); }
    // The first object the WQL query selects; none when it fails (`failure` then holds its
    // HRESULT) or selects nothing (`failure` is S_OK).
    ComRef<IWbemClassObject> firstObject(std::u16string_view query, HRESULT& failure) const;

private:
    ComRef<IWbemServices> services_;
};

// A property as an unsigned number: WMI hands 64-bit integers over as decimal strings, smaller
// ones as integers. Nothing for a null or missing property or a negative value.
std::optional<std::uint64_t> numberProperty(IWbemClassObject* object, const wchar_t* name);
std::optional<bool> booleanProperty(IWbemClassObject* object, const wchar_t* name);

// "0x8004100C": an HRESULT as messages show it.
std::string hresultText(HRESULT result);

}  // namespace nicops::platform::windows
