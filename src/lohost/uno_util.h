// The Writer host's edge with UNO: text conversions, file URLs, property lists, and the one
// place where UNO exceptions become the host errors the add-in expects. Internal to lohost.
#ifndef QNMURO_LOHOST_UNO_UTIL_H_
#define QNMURO_LOHOST_UNO_UTIL_H_

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <com/sun/star/util/URL.hpp>
#include <rtl/ustring.hxx>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "base/error.h"

namespace qnmuro::lohost {

namespace css = com::sun::star;
using rtl::OString;
using rtl::OUString;

inline OUString Ou(std::u16string_view text) {
  return OUString(reinterpret_cast<const sal_Unicode*>(text.data()),
                  static_cast<sal_Int32>(text.size()));
}
inline std::u16string U16(const OUString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.getStr()),
                        static_cast<size_t>(text.getLength()));
}
inline OUString Ascii(const char* text) {
  return OUString::createFromAscii(text);
}

// file:// URL of a system path, and back; kFileError when the path is not one.
OUString FileUrl(std::u16string_view path);
std::u16string SystemPath(const OUString& url);

// A property list for loadComponentFromURL, storeToURL and friends.
// Tells a command's status listener whether the command is enabled; a listener that fails
// is left alone.
void TellEnabled(const css::uno::Reference<css::frame::XStatusListener>& listener,
                 const css::uno::Reference<css::uno::XInterface>& source, const css::util::URL& url,
                 bool enabled);

css::uno::Sequence<css::beans::PropertyValue> Props(
    std::initializer_list<std::pair<const char*, css::uno::Any>> values);

// Raises a host error from inside lohost.
[[noreturn]] void ThrowHost(long number, std::u16string_view description);

// Converts the exception being handled (inside a catch block) into the host error the add-in
// expects: a closed document's objects (DisposedException) are deleted objects, a refused
// value is a bad parameter, anything else of Writer's is a command that is not available;
// our own errors pass through.
[[noreturn]] void RethrowAsHostError();

// Runs a call into Writer; UNO exceptions become host errors.
template <class Call>
auto Uno(Call&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const Error&) {
    throw;
  } catch (...) {
    RethrowAsHostError();
  }
}

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_UNO_UTIL_H_
