#include "lohost/uno_util.h"

#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/frame/FeatureStateEvent.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <osl/file.hxx>

#include <new>

#include "host/host.h"

namespace qnmuro::lohost {

using css::uno::Any;
using css::uno::Sequence;

OUString FileUrl(std::u16string_view path) {
  OUString url;
  if (path.empty() ||
      osl::FileBase::getFileURLFromSystemPath(Ou(path), url) != osl::FileBase::E_None) {
    ThrowHost(host::kFileError, u"Not a file path: " + std::u16string(path));
  }
  return url;
}

std::u16string SystemPath(const OUString& url) {
  OUString path;
  if (osl::FileBase::getSystemPathFromFileURL(url, path) != osl::FileBase::E_None) return U16(url);
  return U16(path);
}

Sequence<css::beans::PropertyValue> Props(
    std::initializer_list<std::pair<const char*, Any>> values) {
  Sequence<css::beans::PropertyValue> out(static_cast<sal_Int32>(values.size()));
  css::beans::PropertyValue* p = out.getArray();
  for (const auto& [name, value] : values) {
    p->Name = OUString::createFromAscii(name);
    p->Value = value;
    ++p;
  }
  return out;
}

void ThrowHost(long number, std::u16string_view description) {
  throw Error(number, std::u16string(description), u"LibreOffice Writer");
}

void RethrowAsHostError() {
  try {
    throw;
  } catch (const Error&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const css::lang::DisposedException& e) {
    ThrowHost(host::kObjectDeleted, u"The object has been deleted. " + U16(e.Message));
  } catch (const css::lang::IllegalArgumentException& e) {
    ThrowHost(host::kBadParameter, u"The value is out of range. " + U16(e.Message));
  } catch (const css::lang::IndexOutOfBoundsException& e) {
    ThrowHost(host::kNoSuchMember,
              u"The requested member of the collection does not exist. " + U16(e.Message));
  } catch (const css::container::NoSuchElementException& e) {
    ThrowHost(host::kNoSuchMember,
              u"The requested member of the collection does not exist. " + U16(e.Message));
  } catch (const css::io::IOException& e) {
    ThrowHost(host::kFileError, u"The file could not be found or opened. " + U16(e.Message));
  } catch (const css::uno::Exception& e) {
    ThrowHost(host::kNotAvailable, u"The command is not available. " + U16(e.Message));
  } catch (const std::exception& e) {
    ThrowHost(host::kNotAvailable,
              u"The command is not available. " + U16(OUString::fromUtf8(e.what())));
  }
}

void TellEnabled(const css::uno::Reference<css::frame::XStatusListener>& listener,
                 const css::uno::Reference<css::uno::XInterface>& source, const css::util::URL& url,
                 bool enabled) {
  if (!listener.is()) return;
  css::frame::FeatureStateEvent state;
  state.Source = source;
  state.FeatureURL = url;
  state.IsEnabled = enabled;
  try {
    listener->statusChanged(state);
  } catch (...) {
  }
}

}  // namespace qnmuro::lohost
