// Small owners for COM objects and strings, shared by the Windows backends that speak COM
// (XML documents, the agent's request object). Windows-only: included by *_win / msxml sources.
#ifndef QNMURO_PLATFORM_COM_WIN_H_
#define QNMURO_PLATFORM_COM_WIN_H_

#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <string_view>
#include <utility>

namespace qnmuro::com {

// Initialises COM on this thread once (apartment-threaded, as the host's UI thread is) and
// uninitialises it when the thread ends. A thread that already has COM keeps its model.
void EnsureInitialized();

// Owns one reference to an interface.
template <class T>
class Ptr {
 public:
  Ptr() = default;
  explicit Ptr(T* p) : p_(p) {}  // adopts the reference
  Ptr(const Ptr& other) : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  Ptr(Ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  Ptr& operator=(Ptr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~Ptr() {
    if (p_ != nullptr) p_->Release();
  }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and hands out the slot.
  T** Out() {
    *this = Ptr();
    return &p_;
  }
  template <class U>
  Ptr<U> As(REFIID iid) const {
    Ptr<U> out;
    if (p_ != nullptr) p_->QueryInterface(iid, reinterpret_cast<void**>(out.Out()));
    return out;
  }

 private:
  T* p_ = nullptr;
};

// Owns a BSTR.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text)
      : b_(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()))) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  BSTR* Out() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::u16string Text() const {
    return b_ == nullptr ? std::u16string()
                         : std::u16string(reinterpret_cast<const char16_t*>(b_), SysStringLen(b_));
  }

 private:
  BSTR b_ = nullptr;
};

// Owns a VARIANT.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(Variant&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }

  static Variant String(std::u16string_view text);
  static Variant Bool(bool value);
  // A byte array (VT_ARRAY | VT_UI1), the form in which a document or request takes raw bytes.
  static Variant Bytes(std::string_view bytes);

  VARIANT* get() { return &v_; }
  // The value as text when it is (or converts to) a string, else empty.
  std::u16string Text() const;

 private:
  VARIANT v_;
};

// The object of the first ProgID that yields one, asked for `iid`; empty when none does.
template <class T>
Ptr<T> CreateFirst(std::initializer_list<const wchar_t*> prog_ids, REFIID iid) {
  EnsureInitialized();
  Ptr<T> object;
  for (const wchar_t* prog_id : prog_ids) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(prog_id, &clsid))) continue;
    if (SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                   reinterpret_cast<void**>(object.Out())))) {
      return object;
    }
  }
  return Ptr<T>();
}

}  // namespace qnmuro::com

#endif  // QNMURO_PLATFORM_COM_WIN_H_
