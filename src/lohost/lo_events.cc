// Writer's own events, for the application that lives in Writer's process: documents opened,
// saved and closed by the user or by another program raise the add-in's events.
#include <com/sun/star/document/XDocumentEventBroadcaster.hpp>
#include <com/sun/star/document/XDocumentEventListener.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/theGlobalEventBroadcaster.hpp>
#include <com/sun/star/util/XCloseBroadcaster.hpp>
#include <com/sun/star/util/XCloseListener.hpp>
#include <cppuhelper/implbase2.hxx>
#include <rtl/ref.hxx>

#include "lohost/lo_model.h"

namespace qnmuro::lohost {

using css::uno::UNO_QUERY;

namespace {

// Hands Writer's notifications to the application; nothing escapes into Writer.
class WriterListener final : public cppu::WeakImplHelper2<css::document::XDocumentEventListener,
                                                          css::util::XCloseListener> {
 public:
  explicit WriterListener(LoApplication* app) : app_(app) {}
  void Detach() { app_ = nullptr; }

  void SAL_CALL documentEventOccured(const css::document::DocumentEvent& event) override {
    if (app_ == nullptr) return;
    try {
      app_->OnWriterEvent(event.EventName, event.Source);
    } catch (...) {
      // The add-in reports its own failures; Writer's event goes on.
    }
  }
  void SAL_CALL queryClosing(const css::lang::EventObject& event, sal_Bool) override {
    if (app_ == nullptr) return;
    try {
      app_->OnWriterClose(event.Source, false);
    } catch (...) {
    }
  }
  void SAL_CALL notifyClosing(const css::lang::EventObject& event) override {
    if (app_ == nullptr) return;
    try {
      app_->OnWriterClose(event.Source, true);
    } catch (...) {
    }
  }
  void SAL_CALL disposing(const css::lang::EventObject& event) override {
    if (app_ == nullptr) return;
    try {
      app_->OnWriterClose(event.Source, true);
    } catch (...) {
    }
  }

 private:
  LoApplication* app_;
};

WriterListener* Impl(const Reference<css::uno::XInterface>& listener) {
  return static_cast<WriterListener*>(
      Reference<css::document::XDocumentEventListener>(listener, UNO_QUERY).get());
}

}  // namespace

void LoApplication::ListenToWriter() {
  if (listener_.is()) return;
  rtl::Reference<WriterListener> listener(new WriterListener(this));
  Uno([&] {
    css::frame::theGlobalEventBroadcaster::get(context_)->addDocumentEventListener(listener.get());
  });
  listener_ = static_cast<cppu::OWeakObject*>(listener.get());
}

void LoApplication::StopListening() {
  if (!listener_.is()) return;
  WriterListener* listener = Impl(listener_);
  listener->Detach();
  try {
    css::frame::theGlobalEventBroadcaster::get(context_)->removeDocumentEventListener(listener);
    for (const std::shared_ptr<LoDocument>& doc : docs_) {
      Reference<css::util::XCloseBroadcaster> close(doc->model(), UNO_QUERY);
      if (close.is()) close->removeCloseListener(listener);
    }
  } catch (...) {
    // Writer is going away: its broadcasters go with it.
  }
  listener_.clear();
}

std::shared_ptr<LoDocument> LoApplication::Adopted(
    const Reference<css::uno::XInterface>& model) const {
  const Reference<css::uno::XInterface> key(model, UNO_QUERY);
  for (const std::shared_ptr<LoDocument>& doc : docs_) {
    if (Reference<css::uno::XInterface>(doc->model(), UNO_QUERY) == key) return doc;
  }
  return nullptr;
}

void LoApplication::Watch(LoDocument& doc) {
  Uno([&] {
    Reference<css::util::XCloseBroadcaster> close(doc.model(), UNO_QUERY);
    if (close.is()) close->addCloseListener(Impl(listener_));
  });
}

void LoApplication::OnWriterEvent(const OUString& name,
                                  const Reference<css::uno::XInterface>& source) {
  std::shared_ptr<LoDocument> doc = Adopted(source);
  if (name == "OnLoad") {
    // A document Writer opened from a file, not through the add-in's own Load.
    if (doc != nullptr || loading_ > 0) return;
    const Reference<css::text::XTextDocument> text(source, UNO_QUERY);
    if (!text.is()) return;  // a spreadsheet or drawing: not the add-in's
    const OUString url = Reference<css::frame::XModel>(text, UNO_QUERY)->getURL();
    if (url.isEmpty()) return;
    doc = std::make_shared<LoDocument>(this, text, SystemPath(url), true);
    docs_.push_back(doc);
    MakeActive(*doc);
    Watch(*doc);
    if (subscribers_.empty() && connect_) connect_();
    for (host::ApplicationEvents* s : std::vector<host::ApplicationEvents*>(subscribers_))
      s->DocumentOpen(*doc);
  } else if (doc != nullptr && (name == "OnSaveDone" || name == "OnSaveAsDone")) {
    doc->WriterSaved(Reference<css::frame::XModel>(source, UNO_QUERY)->getURL());
  } else if (doc != nullptr && name == "OnFocus") {
    MakeActive(*doc);
  } else if (doc != nullptr && name == "OnPrepareUnload") {
    doc->WriterClosing();
  } else if (doc != nullptr && name == "OnUnload") {
    doc->WriterClosed();
  }
}

void LoApplication::OnWriterClose(const Reference<css::uno::XInterface>& source, bool closed) {
  std::shared_ptr<LoDocument> doc = Adopted(source);
  if (doc == nullptr) return;
  if (closed) {
    doc->WriterClosed();
  } else {
    doc->WriterClosing();
  }
}

// ---- the document's side

void LoDocument::WriterSaved(const OUString& url) {
  // The add-in's own store raises these events too: it has raised its before-save already.
  if (closed_ || storing_ || in_before_save_) return;
  const std::u16string path = url.isEmpty() ? full_name_ : SystemPath(url);
  // A Save As to another name or format wrote a copy of the document an add-in follows: it
  // stays the file the add-in knows (the OA system's name and format), and the add-in's save
  // writes that file itself. Any other document becomes the file Writer wrote.
  const bool copy = has_file_ && path != full_name_ && Followed();
  if (!copy && !url.isEmpty()) {
    full_name_ = path;
    has_file_ = true;
    ReadFilter();
  }
  writer_stored_ = true;
  writer_copy_ = copy;
  in_before_save_ = true;
  bool save_as_ui = false, cancel = false;
  try {
    app_->BeforeSave(*this, save_as_ui, cancel);
  } catch (...) {
    // The file is written either way; the add-in has reported what failed.
  }
  in_before_save_ = false;
  writer_stored_ = false;
  writer_copy_ = false;
}

void LoDocument::WriterClosing() {
  if (closed_ || writer_closing_) return;
  writer_closing_ = true;
  auto keep = shared_from_this();
  for (auto* s : std::vector<host::DocumentEvents*>(subscribers_)) s->Close();
}

void LoDocument::WriterClosed() {
  if (closed_) return;
  auto keep = shared_from_this();
  if (!writer_closing_) WriterClosing();
  closed_ = true;
  subscribers_.clear();
  app_->DocumentClosed(*this);
}

}  // namespace qnmuro::lohost
