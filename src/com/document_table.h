// One adapter per host document while anyone holds it, found by the host object's identity, so
// that the document an event hands over is the one found among the open documents. Windows-only.
#ifndef QNMURO_COM_DOCUMENT_TABLE_H_
#define QNMURO_COM_DOCUMENT_TABLE_H_

#include <windows.h>

#include <oaidl.h>

#include <functional>
#include <map>
#include <memory>

#include "base/error.h"
#include "host/host.h"

namespace qnmuro::com {

class DocumentTable {
 public:
  // Makes the adapter of a host document that has none.
  using Make = std::function<std::shared_ptr<host::Document>(IDispatch*)>;
  explicit DocumentTable(Make make) : make_(std::move(make)) {}

  // The document's adapter; Error 91 for an object without identity. Entries of adapters that
  // nobody holds any more (documents closed and let go) are dropped here, so the table keeps
  // only as many entries as there are documents held.
  std::shared_ptr<host::Document> For(IDispatch* document) {
    IUnknown* identity = nullptr;
    if (FAILED(document->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) {
      throw MakeError(kErrObjectNotSet);
    }
    // The adapter holds the document, so the identity stays that document's while it lives.
    identity->Release();
    std::erase_if(adapters_, [](const auto& entry) { return entry.second.expired(); });
    std::weak_ptr<host::Document>& slot = adapters_[identity];
    if (auto held = slot.lock()) return held;
    auto adapter = make_(document);
    slot = adapter;
    return adapter;
  }

  size_t size() const { return adapters_.size(); }

 private:
  Make make_;
  std::map<IUnknown*, std::weak_ptr<host::Document>> adapters_;
};

}  // namespace qnmuro::com

#endif  // QNMURO_COM_DOCUMENT_TABLE_H_
