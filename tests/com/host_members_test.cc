// The adapter's shapes, window positions and button faces against test objects that answer by
// member name to the test host's type library (tests/com/fake_host.idl): arguments arrive in
// the host's order, values given by reference come back, and a face keeps its pixels.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "addin/key_caps.h"
#include "base/error.h"
#include "com/late_bound.h"
#include "com/late_bound_control.h"
#include "com/late_bound_host.h"
#include "fake_host.h"
#include "host/host.h"
#include "host_object.h"
#include "platform/com_win.h"

namespace qnmuro::com {
namespace {

long ErrorNumberOf(const std::function<void()>& step) {
  try {
    step();
  } catch (const Error& error) {
    return error.number();
  }
  return 0;
}

// Item(Index) of a test collection: the objects at 1-based positions, else the host's error.
HostObject::Method ItemOf(std::vector<HostObject*> items) {
  return [items](DISPPARAMS& args, VARIANT* result) {
    const long index = V_I4(Converted(args.rgvarg[0], VT_I4).get());
    if (index < 1 || index > static_cast<long>(items.size())) {
      throw Error(host::kNoSuchMember, u"The requested member of the collection does not exist.");
    }
    *result = ObjectArg(items[index - 1]);
    return S_OK;
  };
}

// An argument as the journal shows it.
std::string TextOf(VARIANT& value) {
  Variant text;
  VariantChangeType(text.get(), &value, VARIANT_ALPHABOOL, VT_BSTR);
  return Narrow(text.Text());
}

// A document with two shapes, its range, the active window with its pane of two pages, and a
// button and a popup on a bar.
struct Host {
  std::vector<std::string> journal;
  HostObject app{"Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents,
                 &journal};
  HostObject doc{"Document", DIID_IDocument, &CLSID_Document, &DIID_DocumentEvents, &journal};
  HostObject shapes{"Shapes", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject no_shapes{"NoShapes", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject seal{"Seal", DIID_IHostShape, nullptr, nullptr, &journal};
  HostObject logo{"Logo", DIID_IHostShape, nullptr, nullptr, &journal};
  HostObject span{"Range", DIID_IHostSpan, nullptr, nullptr, &journal};
  HostObject window{"Window", DIID_IHostWindow, nullptr, nullptr, &journal};
  HostObject pane{"Pane", DIID_IHostPane, nullptr, nullptr, &journal};
  HostObject pages{"Pages", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject first_page{"Page1", DIID_IHostPage, nullptr, nullptr, &journal};
  HostObject second_page{"Page2", DIID_IHostPage, nullptr, nullptr, &journal};
  HostObject button{"Button", DIID_IHostBar, &CLSID_Button, &DIID_ButtonEvents, &journal};
  HostObject popup{"Popup", DIID_IHostBar, nullptr, nullptr, &journal};

  Host() {
    app.SetObject(L"ActiveDocument", &doc);
    app.SetObject(L"ActiveWindow", &window);
    doc.SetObject(L"Shapes", &shapes);
    doc.On(L"Range", [this](DISPPARAMS&, VARIANT* result) {
      *result = ObjectArg(&span);
      return S_OK;
    });
    shapes.Set(L"Count", LongVariant(2));
    no_shapes.Set(L"Count", LongVariant(0));
    shapes.On(L"Item", ItemOf({&seal, &logo}));
    seal.Set(L"Name", Variant::String(u"Seal 1"));
    logo.Set(L"Name", Variant::String(u"Logo"));
    // Four different values, so that one read for another shows.
    seal.Set(L"Left", SingleVariant(12.5f));
    seal.Set(L"Top", SingleVariant(300.25f));
    seal.Set(L"Width", SingleVariant(126.0f));
    seal.Set(L"Height", SingleVariant(63.0f));
    seal.Set(L"Visible", Variant::Bool(true));
    window.SetObject(L"ActivePane", &pane);
    pane.SetObject(L"Pages", &pages);
    pages.On(L"Item", ItemOf({&first_page, &second_page}));
    first_page.Set(L"Left", SingleVariant(0.0f));
    first_page.Set(L"Top", SingleVariant(0.0f));
    second_page.Set(L"Left", SingleVariant(10.0f));
    second_page.Set(L"Top", SingleVariant(850.5f));
    button.Set(L"Type", LongVariant(host::kControlButton));
    popup.Set(L"Type", LongVariant(host::kControlPopup));
  }
};

class HostMembersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureInitialized();
    ASSERT_NE(HostLibrary(), nullptr);
    app_ = LateBoundApplication(&host_.app);
  }

  Host host_;
  std::unique_ptr<host::Application> app_;
};

TEST_F(HostMembersTest, ShapesAreReadByPositionFromTheDocumentsCurrentCollection) {
  host::Shapes& shapes = app_->ActiveDocument()->GetShapes();
  EXPECT_EQ(shapes.Count(), 2);
  EXPECT_EQ(shapes.Item(1)->Name(), u"Seal 1");
  EXPECT_EQ(shapes.Item(2)->Name(), u"Logo");
  EXPECT_EQ(ErrorNumberOf([&] { shapes.Item(3); }), host::kNoSuchMember);

  const auto seal = shapes.Item(1);
  const struct {
    const char* member;
    float (host::Shape::*read)();
    float expected;
  } places[] = {{"Left", &host::Shape::Left, 12.5f},
                {"Top", &host::Shape::Top, 300.25f},
                {"Width", &host::Shape::Width, 126.0f},
                {"Height", &host::Shape::Height, 63.0f}};
  for (const auto& place : places) {
    EXPECT_FLOAT_EQ(((*seal).*place.read)(), place.expected) << place.member;
  }
  EXPECT_TRUE(seal->Visible());

  host_.seal.On(L"ZOrder", [this](DISPPARAMS& args, VARIANT*) {
    host_.journal.push_back("command " + TextOf(args.rgvarg[0]));
    return S_OK;
  });
  host_.seal.On(L"Delete", [](DISPPARAMS&, VARIANT*) { return S_OK; });
  host_.journal.clear();
  seal->SetName(u"Seal 2");
  seal->SetVisible(false);
  seal->ZOrder(host::kSendBehindText);
  seal->Delete();
  EXPECT_EQ(host_.journal,
            (std::vector<std::string>{"Seal.Name=Seal 2", "Seal.Visible=False", "Seal.ZOrder()",
                                      "command 5", "Seal.Delete()"}));
  EXPECT_EQ(seal->Name(), u"Seal 2");

  // The document's collection is asked for anew: a replaced one is seen through the same
  // reference.
  host_.doc.SetObject(L"Shapes", &host_.no_shapes);
  EXPECT_EQ(shapes.Count(), 0);
}

TEST_F(HostMembersTest, AddPictureGivesItsArgumentsInTheHostsOrder) {
  std::vector<std::string> seen;
  host_.shapes.On(L"AddPicture", [&](DISPPARAMS& args, VARIANT* result) {
    // The arguments arrive last first.
    for (UINT i = args.cArgs; i-- > 0;) {
      seen.push_back(std::to_string(V_VT(&args.rgvarg[i])) + ":" + TextOf(args.rgvarg[i]));
    }
    if (std::wstring(V_BSTR(&args.rgvarg[args.cArgs - 1])) == L"C:\\OAWork\\bad.txt") {
      throw Error(host::kBadPicture, u"The file is not a picture.");
    }
    *result = ObjectArg(&host_.logo);
    return S_OK;
  });
  host::Shapes& shapes = app_->ActiveDocument()->GetShapes();
  const auto added =
      shapes.AddPicture(u"C:\\OAWork\\U.seal.bmp", false, true, 10.5f, 20.25f, 126.0f, 63.0f);
  EXPECT_EQ(added->Name(), u"Logo");
  const std::string bstr = std::to_string(VT_BSTR), boolean = std::to_string(VT_BOOL);
  const std::string single = std::to_string(VT_R4);
  EXPECT_EQ(seen, (std::vector<std::string>{bstr + ":C:\\OAWork\\U.seal.bmp", boolean + ":False",
                                            boolean + ":True", single + ":10.5", single + ":20.25",
                                            single + ":126", single + ":63"}));
  // The host's own error reaches the caller.
  EXPECT_EQ(
      ErrorNumberOf([&] { shapes.AddPicture(u"C:\\OAWork\\bad.txt", false, true, 0, 0, 1, 1); }),
      host::kBadPicture);
}

// A range that did not come from the adapter.
class ForeignRange final : public host::Range {
 public:
  long Start() override { return 0; }
  long End() override { return 0; }
  std::u16string Text() override { return u""; }
  void SetText(std::u16string_view) override {}
  void Copy() override {}
};

TEST_F(HostMembersTest, WindowPositionsComeBackThroughArgumentsGivenByReference) {
  IDispatch* shown = nullptr;
  // GetPoint(ScreenPixelsLeft, ScreenPixelsTop, ScreenPixelsWidth, ScreenPixelsHeight, obj).
  host_.window.On(L"GetPoint", [&](DISPPARAMS& args, VARIANT*) {
    if (args.cArgs != 5 || V_VT(&args.rgvarg[0]) != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    shown = V_DISPATCH(&args.rgvarg[0]);
    const long values[] = {101, 202, 33, 44};
    for (int i = 0; i < 4; ++i) {
      if (V_VT(&args.rgvarg[4 - i]) != (VT_I4 | VT_BYREF)) return DISP_E_TYPEMISMATCH;
      *V_I4REF(&args.rgvarg[4 - i]) = values[i];
    }
    return S_OK;
  });
  // ScreenToDocument(four pixel values, four singles filled): a made-up mapping that keeps
  // each value apart.
  host_.window.On(L"ScreenToDocument", [](DISPPARAMS& args, VARIANT*) {
    if (args.cArgs != 8) return DISP_E_BADPARAMCOUNT;
    const float scale[] = {0.75f, 0.5f, 0.25f, 2.0f};
    for (int i = 0; i < 4; ++i) {
      const long pixels = V_I4(Converted(args.rgvarg[7 - i], VT_I4).get());
      if (V_VT(&args.rgvarg[3 - i]) != (VT_R4 | VT_BYREF)) return DISP_E_TYPEMISMATCH;
      *V_R4REF(&args.rgvarg[3 - i]) = static_cast<float>(pixels) * scale[i];
    }
    return S_OK;
  });
  const auto window = app_->ActiveWindow();
  const auto range = app_->ActiveDocument()->GetRange(3, 7);
  const host::ScreenRect at = window->GetPoint(*range);
  EXPECT_EQ(shown, static_cast<IDispatch*>(&host_.span));
  EXPECT_EQ((std::vector<long>{at.left, at.top, at.width, at.height}),
            (std::vector<long>{101, 202, 33, 44}));

  const host::DocumentRect points = window->ScreenToDocument({100, 200, 40, 20});
  EXPECT_EQ((std::vector<float>{points.left, points.top, points.width, points.height}),
            (std::vector<float>{75.0f, 100.0f, 10.0f, 40.0f}));

  const struct {
    long page;
    float left, top;
  } origins[] = {{1, 0.0f, 0.0f}, {2, 10.0f, 850.5f}};
  for (const auto& origin : origins) {
    const host::PagePoint found = window->PageOrigin(origin.page);
    EXPECT_FLOAT_EQ(found.left, origin.left) << "page " << origin.page;
    EXPECT_FLOAT_EQ(found.top, origin.top) << "page " << origin.page;
  }
  EXPECT_EQ(ErrorNumberOf([&] { window->PageOrigin(3); }), host::kNoSuchMember);

  ForeignRange foreign;
  EXPECT_EQ(ErrorNumberOf([&] { window->GetPoint(foreign); }), kErrObjectNotSet);
}

// A BMP file's size and pixel rows, read from its headers.
struct Pixels {
  long width = 0, height = 0;
  std::vector<uint8_t> rows;
  bool operator==(const Pixels&) const = default;
};
Pixels PixelsOf(const std::vector<uint8_t>& bmp) {
  Pixels out;
  if (bmp.size() < 54) return out;
  uint32_t offset = 0;
  int32_t width = 0, height = 0;
  std::memcpy(&offset, bmp.data() + 10, 4);
  std::memcpy(&width, bmp.data() + 18, 4);
  std::memcpy(&height, bmp.data() + 22, 4);
  out.width = width;
  out.height = height;
  if (offset <= bmp.size()) out.rows.assign(bmp.begin() + offset, bmp.end());
  return out;
}

TEST_F(HostMembersTest, AButtonFaceKeepsItsPixels) {
  const auto button = LateBoundControl(&host_.button);
  // The last face set is the one read back, pixel for pixel.
  for (long id : {101L, 100L}) {
    const host::Picture face = *KeyCapFace(id);
    button->SetFace(face);
    const host::Picture back = button->Face();
    EXPECT_EQ(PixelsOf(back.bmp), PixelsOf(face.bmp)) << Narrow(face.label);
    EXPECT_EQ(PixelsOf(back.bmp).rows.size(), 16u * 16u * 3u);
    EXPECT_EQ(back.label, u"");
  }

  // Bytes that are not a whole 24-bit BMP never reach the button.
  std::vector<uint8_t> cut = KeyCapFace(101)->bmp;
  cut.resize(cut.size() - 1);
  std::vector<uint8_t> huge = KeyCapFace(101)->bmp;
  huge[23] = 0x10;  // a height of 4112 rows
  std::vector<uint8_t> eight_bit = KeyCapFace(101)->bmp;
  eight_bit[28] = 8;
  std::vector<uint8_t> wrapping = KeyCapFace(101)->bmp;
  const uint32_t header_size = 0xFFFFFFF6;  // with the file header's 14 bytes, 4 in 32 bits
  std::memcpy(wrapping.data() + 14, &header_size, 4);
  const struct {
    const char* what;
    std::vector<uint8_t> bmp;
  } bad[] = {{"empty", {}},
             {"not a BMP", std::vector<uint8_t>(100, 'x')},
             {"pixels cut short", cut},
             {"too tall", huge},
             {"8 bits", eight_bit},
             {"header size that wraps", wrapping}};
  host_.journal.clear();
  for (const auto& face : bad) {
    EXPECT_EQ(ErrorNumberOf([&] {
                button->SetFace({u"F1", face.bmp});
              }),
              host::kBadPicture)
        << face.what;
  }
  EXPECT_EQ(host_.journal, std::vector<std::string>{});
  EXPECT_EQ(PixelsOf(button->Face().bmp), PixelsOf(KeyCapFace(100)->bmp));

  // A host's picture larger than any face is refused before its pixels are copied.
  PICTDESC large{sizeof(PICTDESC), PICTYPE_BITMAP, {}};
  large.bmp.hbitmap = CreateBitmap(300, 16, 1, 32, nullptr);
  Ptr<IPictureDisp> picture;
  ASSERT_EQ(OleCreatePictureIndirect(&large, IID_IPictureDisp, TRUE,
                                     reinterpret_cast<void**>(picture.Out())),
            S_OK);
  host_.button.Set(L"Picture", ObjectVariant(picture.get()));
  EXPECT_EQ(ErrorNumberOf([&] { button->Face(); }), host::kBadPicture);

  // Faces are for buttons.
  const auto popup = LateBoundControl(&host_.popup);
  EXPECT_EQ(ErrorNumberOf([&] { popup->SetFace(*KeyCapFace(101)); }), host::kNotAvailable);
  EXPECT_EQ(ErrorNumberOf([&] { popup->Face(); }), host::kNotAvailable);
}

}  // namespace
}  // namespace qnmuro::com
