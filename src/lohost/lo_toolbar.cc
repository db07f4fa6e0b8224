#include "lohost/lo_toolbar.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexContainer.hpp>
#include <com/sun/star/frame/XDispatch.hpp>
#include <com/sun/star/frame/XDispatchProviderInterception.hpp>
#include <com/sun/star/frame/XDispatchProviderInterceptor.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XStatusListener.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/ui/ItemStyle.hpp>
#include <com/sun/star/ui/XImageManager.hpp>
#include <com/sun/star/ui/XUIConfigurationManager.hpp>
#include <com/sun/star/ui/XUIElement.hpp>
#include <com/sun/star/ui/XUIElementSettings.hpp>
#include <com/sun/star/ui/theModuleUIConfigurationManagerSupplier.hpp>

#include <cppuhelper/implbase1.hxx>
#include <cppuhelper/weakref.hxx>

#include <set>

#include "base/text.h"
#include "host/command_bars.h"

namespace qnmuro::lohost {
namespace {

using css::uno::Any;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

// The application the windows' interceptors ask; null once the add-in has gone.
LoApplication* g_app = nullptr;
std::vector<css::uno::WeakReference<css::frame::XFrame>> g_intercepted;

bool OptionsEnabled() {
  if (g_app == nullptr) return true;
  try {
    const std::shared_ptr<host::CommandBar> menu = g_app->GetCommandBars().Find(kMenuBarName);
    return menu == nullptr || menu->GetControls()
                                  .Item(kToolsMenuCaption)
                                  ->GetControls()
                                  .Item(kOptionsItemCaption)
                                  ->Enabled();
  } catch (...) {
    return true;
  }
}

// Writer's own save of the document an add-in follows, without Writer's keep-format question:
// the document is stored in its own format under its own name, with the add-in's save (the
// question, the upload) first, as the word processor's save raises it.
class SaveCommand final : public cppu::WeakImplHelper1<css::frame::XDispatch> {
 public:
  explicit SaveCommand(std::weak_ptr<LoDocument> doc) : doc_(std::move(doc)) {}
  void SAL_CALL dispatch(const css::util::URL&,
                         const Sequence<css::beans::PropertyValue>&) override {
    const std::shared_ptr<LoDocument> doc = doc_.lock();
    if (doc == nullptr || doc->closed()) return;
    try {
      doc->Save();
    } catch (...) {
      // The add-in has reported what failed; Writer goes on.
    }
    if (g_app != nullptr) ShowToolbars(*g_app);
  }
  void SAL_CALL addStatusListener(const Reference<css::frame::XStatusListener>& listener,
                                  const css::util::URL& url) override {
    TellEnabled(listener, static_cast<cppu::OWeakObject*>(this), url, true);
  }
  void SAL_CALL removeStatusListener(const Reference<css::frame::XStatusListener>&,
                                     const css::util::URL&) override {}

 private:
  std::weak_ptr<LoDocument> doc_;
};

// The document of the window that an add-in follows, if any.
std::shared_ptr<LoDocument> FollowedIn(const Reference<css::frame::XFrame>& frame) {
  if (g_app == nullptr || !frame.is()) return nullptr;
  for (const std::shared_ptr<LoDocument>& doc : g_app->GetDocumentList()) {
    try {
      if (doc->Followed() && doc->Frame() == frame) return doc;
    } catch (...) {
    }
  }
  return nullptr;
}

// A window's commands as the add-in has them: Writer's options command unavailable while the
// add-in has disabled its menu item, and the save of the followed document its own.
class WindowGuard final : public cppu::WeakImplHelper1<css::frame::XDispatchProviderInterceptor> {
 public:
  explicit WindowGuard(const Reference<css::frame::XFrame>& frame) : frame_(frame) {}
  Reference<css::frame::XDispatch> SAL_CALL queryDispatch(const css::util::URL& url,
                                                          const OUString& target,
                                                          sal_Int32 flags) override {
    if (url.Complete == ".uno:OptionsTreeDialog" && !OptionsEnabled()) return {};
    if (url.Complete == ".uno:Save") {
      if (const std::shared_ptr<LoDocument> doc = FollowedIn(Reference<css::frame::XFrame>(frame_));
          doc != nullptr)
        return new SaveCommand(doc);
    }
    return slave_.is() ? slave_->queryDispatch(url, target, flags) : nullptr;
  }
  Sequence<Reference<css::frame::XDispatch>> SAL_CALL
  queryDispatches(const Sequence<css::frame::DispatchDescriptor>& requests) override {
    Sequence<Reference<css::frame::XDispatch>> out(requests.getLength());
    for (sal_Int32 i = 0; i < requests.getLength(); ++i) {
      out.getArray()[i] =
          queryDispatch(requests[i].FeatureURL, requests[i].FrameName, requests[i].SearchFlags);
    }
    return out;
  }
  Reference<css::frame::XDispatchProvider> SAL_CALL getSlaveDispatchProvider() override {
    return slave_;
  }
  void SAL_CALL
  setSlaveDispatchProvider(const Reference<css::frame::XDispatchProvider>& slave) override {
    slave_ = slave;
  }
  Reference<css::frame::XDispatchProvider> SAL_CALL getMasterDispatchProvider() override {
    return master_;
  }
  void SAL_CALL
  setMasterDispatchProvider(const Reference<css::frame::XDispatchProvider>& master) override {
    master_ = master;
  }

 private:
  css::uno::WeakReference<css::frame::XFrame> frame_;
  Reference<css::frame::XDispatchProvider> slave_, master_;
};

void Intercept(const Reference<css::frame::XFrame>& frame) {
  for (const auto& weak : g_intercepted) {
    if (Reference<css::frame::XFrame>(weak) == frame) return;
  }
  Reference<css::frame::XDispatchProviderInterception> interception(frame, UNO_QUERY);
  if (!interception.is()) return;
  interception->registerDispatchProviderInterceptor(new WindowGuard(frame));
  g_intercepted.emplace_back(frame);
}

OUString ResourceUrl(std::u16string_view bar) {
  return Ou(u"private:resource/toolbar/custom_" + std::u16string(bar));
}

Reference<css::frame::XLayoutManager> LayoutManager(LoDocument& doc) {
  Reference<css::frame::XLayoutManager> layout;
  Reference<css::beans::XPropertySet>(doc.Frame(), UNO_QUERY_THROW)
      ->getPropertyValue(Ascii("LayoutManager")) >>= layout;
  return layout;
}

// A button's face as Writer's picture; none for a button without one.
Reference<css::graphic::XGraphic> FaceGraphic(LoApplication& app, host::Control& control) {
  try {
    const std::vector<uint8_t> bmp = control.Face().bmp;
    if (bmp.empty()) return {};
    const Sequence<sal_Int8> bytes(reinterpret_cast<const sal_Int8*>(bmp.data()),
                                   static_cast<sal_Int32>(bmp.size()));
    return css::graphic::GraphicProvider::create(app.context())
        ->queryGraphic(Props(
            {{"InputStream",
              Any(css::io::SequenceInputStream::createStreamFromSequence(app.context(), bytes))}}));
  } catch (...) {
    return {};  // a button whose face cannot be read shows its caption alone
  }
}

// The buttons' faces, for Writer's toolbars of text documents to draw beside the captions.
void SetFaces(LoApplication& app, const std::vector<OUString>& urls,
              const std::vector<Reference<css::graphic::XGraphic>>& faces) {
  if (urls.empty()) return;
  const Reference<css::ui::XImageManager> images(
      css::ui::theModuleUIConfigurationManagerSupplier::get(app.context())
          ->getUIConfigurationManager(Ascii("com.sun.star.text.TextDocument"))
          ->getImageManager(),
      UNO_QUERY_THROW);
  std::vector<OUString> known, added;
  std::vector<Reference<css::graphic::XGraphic>> known_faces, added_faces;
  for (size_t i = 0; i < urls.size(); ++i) {
    const bool has = images->hasImage(0, urls[i]);
    (has ? known : added).push_back(urls[i]);
    (has ? known_faces : added_faces).push_back(faces[i]);
  }
  auto seq = [](const auto& v) {
    using T = typename std::decay_t<decltype(v)>::value_type;
    return Sequence<T>(v.data(), static_cast<sal_Int32>(v.size()));
  };
  if (!known.empty()) images->replaceImages(0, seq(known), seq(known_faces));
  if (!added.empty()) images->insertImages(0, seq(added), seq(added_faces));
}

// The toolbar's items: one button per visible control, with the bar's command for it, its
// face and caption (style 3) or its caption alone.
Sequence<Sequence<css::beans::PropertyValue>> Items(LoApplication& app, host::CommandBar& bar) {
  std::vector<Sequence<css::beans::PropertyValue>> items;
  std::vector<OUString> urls;
  std::vector<Reference<css::graphic::XGraphic>> faces;
  host::Controls& controls = bar.GetControls();
  for (long i = 1; i <= controls.Count(); ++i) {
    const std::shared_ptr<host::Control> control = controls.Item(i);
    if (!control->Visible()) continue;
    const OUString url = Ou(Utf8ToUtf16(kCommandProtocol) + bar.Name() + u"/" +
                            ToText(static_cast<long long>(i - 1)));
    std::u16string label = control->Caption();
    std::erase(label, u'&');
    const Reference<css::graphic::XGraphic> face = FaceGraphic(app, *control);
    if (face.is()) {
      urls.push_back(url);
      faces.push_back(face);
    }
    namespace style = css::ui::ItemStyle;
    items.push_back(
        Props({{"CommandURL", Any(url)},
               {"Label", Any(Ou(label))},
               {"Type", Any(sal_Int16(0))},
               {"Style", Any(sal_Int16(face.is() ? style::ICON | style::TEXT : style::TEXT))},
               {"IsVisible", Any(true)}}));
  }
  try {
    SetFaces(app, urls, faces);
  } catch (...) {
    // Writer keeps no pictures for the commands: the captions stand alone.
  }
  return Sequence<Sequence<css::beans::PropertyValue>>(items.data(),
                                                       static_cast<sal_Int32>(items.size()));
}

void ShowBar(LoApplication& app, const Reference<css::frame::XLayoutManager>& layout,
             host::CommandBar& bar) {
  const OUString url = ResourceUrl(bar.Name());
  if (!layout->getElement(url).is()) layout->createElement(url);
  const Reference<css::ui::XUIElement> element = layout->getElement(url);
  if (!element.is()) return;
  const Reference<css::ui::XUIElementSettings> settings(element, UNO_QUERY_THROW);
  const Reference<css::container::XIndexContainer> container(settings->getSettings(true),
                                                             UNO_QUERY_THROW);
  while (container->getCount() > 0) container->removeByIndex(container->getCount() - 1);
  const Sequence<Sequence<css::beans::PropertyValue>> items = Items(app, bar);
  for (sal_Int32 i = 0; i < items.getLength(); ++i) container->insertByIndex(i, Any(items[i]));
  Reference<css::beans::XPropertySet> props(container, UNO_QUERY);
  if (props.is()) props->setPropertyValue(Ascii("UIName"), Any(Ou(bar.Name())));
  settings->setSettings(Reference<css::container::XIndexAccess>(container, UNO_QUERY_THROW));
  if (bar.Visible()) {
    layout->showElement(url);
  } else {
    layout->hideElement(url);
  }
}

}  // namespace

void ForgetToolbars() {
  g_app = nullptr;
}

void ShowToolbars(LoApplication& app) {
  g_app = &app;
  const std::vector<std::shared_ptr<host::CommandBar>> bars = app.AddedBars();
  for (const std::shared_ptr<LoDocument>& doc : app.GetDocumentList()) {
    try {
      if (doc->closed()) continue;
      Intercept(doc->Frame());
      const Reference<css::frame::XLayoutManager> layout = LayoutManager(*doc);
      if (!layout.is()) continue;
      std::set<OUString> shown;
      for (const std::shared_ptr<host::CommandBar>& bar : bars) {
        try {
          shown.insert(ResourceUrl(bar->Name()));
          ShowBar(app, layout, *bar);
        } catch (...) {
          // A deleted bar: its toolbar goes below.
        }
      }
      for (const Reference<css::ui::XUIElement>& element : layout->getElements()) {
        const OUString url = element->getResourceURL();
        if (url.startsWith("private:resource/toolbar/custom_") && shown.count(url) == 0)
          layout->destroyElement(url);
      }
    } catch (...) {
      // A window that went away meanwhile.
    }
  }
}

std::shared_ptr<host::Control> CommandControl(LoApplication& app, const OUString& url) {
  const OUString protocol = Ascii(kCommandProtocol);
  if (!url.startsWith(protocol)) return nullptr;
  const std::u16string rest = U16(url.copy(protocol.getLength()));
  const size_t slash = rest.rfind(u'/');
  if (slash == std::u16string::npos) return nullptr;
  const long index = std::stol(U8(rest.substr(slash + 1)));
  for (const std::shared_ptr<host::CommandBar>& bar : app.AddedBars()) {
    try {
      if (bar->Name() != rest.substr(0, slash)) continue;
      if (index < 0 || index >= bar->GetControls().Count()) return nullptr;
      return bar->GetControls().Item(index + 1);
    } catch (...) {
    }
  }
  return nullptr;
}

}  // namespace qnmuro::lohost
