// Reading Flat ODF text documents. The file is parsed with the add-in's own XML settings
// (platform/xml.h: no entity expansion, no network, libxml2's size and depth limits), keeping
// white-space text; the reader then walks libxml2's tree directly, as it needs every text node
// as it stands and attributes by namespace.
#include <libxml/tree.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "base/error.h"
#include "base/text.h"
#include "platform/file_io.h"
#include "platform/xml.h"
#include "simhost/byte_base64.h"
#include "simhost/fodt_format.h"
#include "simhost/sim_document.h"

namespace qnmuro::simhost {
namespace {

constexpr char kOffice[] = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr char kText[] = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr char kDraw[] = "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
constexpr char kStyle[] = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr char kSvg[] = "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0";
constexpr char kDc[] = "http://purl.org/dc/elements/1.1/";
constexpr char kConfig[] = "urn:oasis:names:tc:opendocument:xmlns:config:1.0";
constexpr char kQn[] = "urn:qnmuro:simhost:1.0";
constexpr char kXml[] = "http://www.w3.org/XML/1998/namespace";
constexpr char kTextMime[] = "application/vnd.oasis.opendocument.text";

[[noreturn]] void Bad(std::u16string_view why) {
  ThrowHost(host::kFileError, u"The file is not a readable document: " + std::u16string(why));
}

bool Is(const xmlNode* n, const char* ns, const char* name) {
  return n != nullptr && n->type == XML_ELEMENT_NODE && n->ns != nullptr &&
         std::strcmp(reinterpret_cast<const char*>(n->ns->href), ns) == 0 &&
         std::strcmp(reinterpret_cast<const char*>(n->name), name) == 0;
}

void AppendText(const xmlNode* n, std::string* out) {
  if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content != nullptr)
    *out += reinterpret_cast<const char*>(n->content);
}

// An attribute's value. Only its text counts: a reference to an entity the file declares adds
// nothing, so that no value can be blown up by nested entities.
std::string Attr(const xmlNode* n, const char* ns, const char* name) {
  const xmlAttr* a =
      xmlHasNsProp(n, reinterpret_cast<const xmlChar*>(name), reinterpret_cast<const xmlChar*>(ns));
  std::string s;
  if (a == nullptr || a->type != XML_ATTRIBUTE_NODE) return s;
  for (const xmlNode* c = a->children; c != nullptr; c = c->next) AppendText(c, &s);
  return s;
}

// The text of an element's descendants, by the same rule; iterative, so depth costs no stack.
std::string Content(const xmlNode* top) {
  std::string s;
  const xmlNode* n = top->children;
  while (n != nullptr && n != top) {
    AppendText(n, &s);
    if (n->type == XML_ELEMENT_NODE && n->children != nullptr) {
      n = n->children;
      continue;
    }
    while (n != top && n->next == nullptr) n = n->parent;
    if (n != top) n = n->next;
  }
  return s;
}

// "12.5pt", "2cm", "10mm", "1in", "96px" -> points.
float Length(const std::string& v) {
  char* end = nullptr;
  double x = std::strtod(v.c_str(), &end);
  std::string unit = end != nullptr ? end : "";
  if (unit == "cm")
    x *= 72 / 2.54;
  else if (unit == "mm")
    x *= 72 / 25.4;
  else if (unit == "in")
    x *= 72;
  else if (unit == "px")
    x *= 0.75;
  else if (unit == "pc")
    x *= 12;
  return static_cast<float>(x);
}

long Integer(const std::string& v, long fallback) {
  if (v.empty()) return fallback;
  char* end = nullptr;
  long x = std::strtol(v.c_str(), &end, 10);
  return (end != nullptr && *end == 0) ? x : fallback;
}

// "YYYY-MM-DDTHH:MM:SS" (the time may be missing, anything after the seconds is ignored).
// Dates outside the clock's years are taken at its edge (FromLocalTime); fewer than three
// numbers give the clock's epoch.
TimePoint ParseDate(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t' || v.front() == '\n')) {
    v.remove_prefix(1);
  }
  static constexpr char kSeparators[] = "--T::";
  int fields[6] = {1970, 1, 1, 0, 0, 0};
  int count = 0;
  size_t i = 0;
  for (; count < 6; ++count) {
    if (count > 0) {
      if (i >= v.size() || v[i] != kSeparators[count - 1]) break;
      ++i;
    }
    const size_t start = i;
    long long x = 0;
    for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
      if (x < 100'000'000) x = x * 10 + (v[i] - '0');  // beyond: out of range all the same
    }
    if (i == start) break;
    fields[count] = static_cast<int>(x);
  }
  if (count < 3) return TimePoint{};
  return FromLocalTime({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]});
}

[[noreturn]] void TooLarge() {
  ThrowHost(host::kFileError, u"The document is too large to open: it holds more than " +
                                  ToText(static_cast<long long>(kMaxDocumentChars)) +
                                  u" characters of text");
}

struct Reader {
  // `used` counts the characters of the whole document, shared with the scratch readers of
  // deleted paragraphs.
  explicit Reader(size_t* used) : used_(used) {}

  size_t* used_;
  DocumentFile doc;
  std::map<std::string, bool> behind_styles;
  std::map<std::string, size_t> change_index;  // region id -> index in doc.revisions
  std::map<std::u16string, long> open_bookmarks;
  bool first_paragraph = true;
  bool after_space = false;  // white-space folding inside a paragraph

  long Pos() const { return static_cast<long>(doc.text.size()); }

  // Accounts for `n` more characters of text before they are added.
  void Grow(size_t n) {
    if (n > kMaxDocumentChars - *used_) TooLarge();
    *used_ += n;
  }

  static void CheckDepth(int depth) {
    if (depth > kMaxDocumentNesting) Bad(u"its elements are nested too deeply");
  }

  void Styles(const xmlNode* styles) {
    for (auto* s = styles->children; s != nullptr; s = s->next) {
      if (!Is(s, kStyle, "style")) continue;
      for (auto* p = s->children; p != nullptr; p = p->next) {
        if (Is(p, kStyle, "graphic-properties"))
          behind_styles[Attr(s, kStyle, "name")] = Attr(p, kStyle, "run-through") == "background";
      }
    }
  }

  void Settings(const xmlNode* settings) {
    for (auto* set = settings->children; set != nullptr; set = set->next) {
      if (!Is(set, kConfig, "config-item-set") || Attr(set, kConfig, "name") != "qn:document")
        continue;
      for (auto* item = set->children; item != nullptr; item = item->next) {
        if (!Is(item, kConfig, "config-item")) continue;
        std::string name = Attr(item, kConfig, "name"), value = Content(item);
        if (name == "ProtectionType")
          doc.protection = Integer(value, -1);
        else if (name == "ProtectionKey")
          doc.protection_key = value;
        else if (name == "ShowRevisions")
          doc.show_revisions = value == "true";
        else if (name == "PrintRevisions")
          doc.print_revisions = value == "true";
      }
    }
    if (doc.protection < -1 || doc.protection > 3) doc.protection = -1;
  }

  void TrackedChanges(const xmlNode* tc) {
    doc.track_revisions = Attr(tc, kText, "track-changes") == "true";
    for (auto* region = tc->children; region != nullptr; region = region->next) {
      if (!Is(region, kText, "changed-region")) continue;
      std::string id = Attr(region, kText, "id");
      if (id.empty()) id = Attr(region, kXml, "id");
      for (auto* change = region->children; change != nullptr; change = change->next) {
        bool insert = Is(change, kText, "insertion");
        if (!insert && !Is(change, kText, "deletion")) continue;
        RevisionRec r;
        r.kind = insert ? RevisionInfo::Kind::kInsert : RevisionInfo::Kind::kDelete;
        r.start = r.end = -1;
        bool first = true;
        for (auto* c = change->children; c != nullptr; c = c->next) {
          if (Is(c, kOffice, "change-info")) {
            for (auto* i = c->children; i != nullptr; i = i->next) {
              if (Is(i, kDc, "creator")) r.author = U16(Content(i));
              if (Is(i, kDc, "date")) r.time = ParseDate(Content(i));
            }
          } else if (Is(c, kText, "p") || Is(c, kText, "h")) {
            // The deleted paragraphs: read with the body's rules into a scratch reader.
            Reader scratch(used_);
            scratch.Paragraph(c, 7);  // document, body, text, tracked-changes, region, change, p
            if (!first) {
              Grow(1);
              r.deleted_text += u'\r';
            }
            r.deleted_text += scratch.doc.text;
            first = false;
          }
        }
        change_index[id] = doc.revisions.size();
        doc.revisions.push_back(std::move(r));
      }
    }
  }

  void Frame(const xmlNode* f, bool page_anchored) {
    FileShape s;
    s.shape.name = U16(Attr(f, kDraw, "name"));
    s.shape.left = Length(Attr(f, kSvg, "x"));
    s.shape.top = Length(Attr(f, kSvg, "y"));
    s.shape.width = Length(Attr(f, kSvg, "width"));
    s.shape.height = Length(Attr(f, kSvg, "height"));
    s.shape.z = Integer(Attr(f, kDraw, "z-index"), 0);
    s.shape.visible = Attr(f, kDraw, "display") != "none";
    auto style = behind_styles.find(Attr(f, kDraw, "style-name"));
    s.shape.behind_text = style != behind_styles.end() && style->second;
    s.page = page_anchored ? std::max(1L, Integer(Attr(f, kText, "anchor-page-number"), 1)) : 0;
    for (auto* img = f->children; img != nullptr; img = img->next) {
      if (!Is(img, kDraw, "image")) continue;
      for (auto* data = img->children; data != nullptr; data = data->next) {
        if (!Is(data, kOffice, "binary-data")) continue;
        auto bytes = DecodeBytesBase64(Content(data));
        if (!bytes) Bad(u"a picture's data is damaged");
        if (bytes->size() > kMaxPictureBytes) {
          ThrowHost(host::kFileError,
                    u"The document is too large to open: it holds a picture of more than " +
                        ToText(static_cast<long long>(kMaxPictureBytes)) + u" bytes");
        }
        s.shape.image = std::make_shared<const std::vector<uint8_t>>(std::move(*bytes));
      }
    }
    if (!s.shape.image) return;  // linked pictures are not kept
    s.shape.anchor = Pos();
    doc.shapes.push_back(std::move(s));
  }

  void AppendChars(std::u16string_view chars) {
    for (char16_t c : chars) {
      if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
        if (after_space) continue;
        Grow(1);
        doc.text += u' ';
        after_space = true;
      } else {
        Grow(1);
        doc.text += c;
        after_space = false;
      }
    }
  }

  void Literal(std::u16string_view chars) {
    Grow(chars.size());
    doc.text += chars;
    after_space = false;
  }

  // A run of `count` blanks (text:s), as long as the writer made it.
  void Blanks(long count) {
    const size_t n = count < 1 ? 1 : static_cast<size_t>(count);
    Grow(n);
    doc.text.append(n, u' ');
    after_space = false;
  }

  void Bookmark(const xmlNode* n, int what) {  // 0 collapsed, 1 start, 2 end
    std::u16string name = U16(Attr(n, kText, "name"));
    if (name.empty()) return;
    if (what == 1) {
      open_bookmarks[name] = Pos();
    } else if (what == 0) {
      doc.bookmarks.push_back({0, name, Pos(), Pos()});
    } else {
      auto it = open_bookmarks.find(name);
      if (it == open_bookmarks.end()) return;
      doc.bookmarks.push_back({0, name, it->second, Pos()});
      open_bookmarks.erase(it);
    }
  }

  void Change(const xmlNode* n, int what) {  // 0 point (deletion), 1 start, 2 end
    auto it = change_index.find(Attr(n, kText, "change-id"));
    if (it == change_index.end()) return;
    RevisionRec& r = doc.revisions[it->second];
    if (what == 2) {
      r.end = Pos();
    } else {
      r.start = Pos();
      if (what == 0 || r.end < 0) r.end = Pos();
    }
  }

  void Inline(const xmlNode* parent, int depth) {
    CheckDepth(depth);
    for (auto* n = parent->children; n != nullptr; n = n->next) {
      if (n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) {
        if (n->content != nullptr) AppendChars(U16(reinterpret_cast<const char*>(n->content)));
      } else if (n->type != XML_ELEMENT_NODE) {
        continue;  // comments, processing instructions, entity references
      } else if (Is(n, kText, "s")) {
        Blanks(Integer(Attr(n, kText, "c"), 1));
      } else if (Is(n, kText, "tab")) {
        Literal(u"\t");
      } else if (Is(n, kText, "line-break")) {
        Literal(u"\v");
      } else if (Is(n, kQn, "c")) {
        long code = Integer(Attr(n, kQn, "code"), 0);
        if (code > 0 && code < 0x10000) Literal(std::u16string(1, static_cast<char16_t>(code)));
      } else if (Is(n, kText, "bookmark")) {
        Bookmark(n, 0);
      } else if (Is(n, kText, "bookmark-start")) {
        Bookmark(n, 1);
      } else if (Is(n, kText, "bookmark-end")) {
        Bookmark(n, 2);
      } else if (Is(n, kText, "change")) {
        Change(n, 0);
      } else if (Is(n, kText, "change-start")) {
        Change(n, 1);
      } else if (Is(n, kText, "change-end")) {
        Change(n, 2);
      } else if (Is(n, kDraw, "frame")) {
        Frame(n, Attr(n, kText, "anchor-type") == "page");
      } else if (Is(n, kText, "note") || Is(n, kOffice, "annotation")) {
        continue;  // notes and comments are not main text
      } else {
        Inline(n, depth + 1);  // spans, links, fields: their text
      }
    }
  }

  void Paragraph(const xmlNode* p, int depth) {
    if (!first_paragraph) {
      Grow(1);
      doc.text += u'\r';
    }
    first_paragraph = false;
    after_space = true;  // leading white space of a paragraph is not text
    Inline(p, depth);
  }

  void Block(const xmlNode* parent, int depth) {
    CheckDepth(depth);
    for (auto* n = parent->children; n != nullptr; n = n->next) {
      if (n->type != XML_ELEMENT_NODE) continue;
      if (Is(n, kText, "p") || Is(n, kText, "h")) {
        Paragraph(n, depth + 1);
      } else if (Is(n, kText, "tracked-changes")) {
        TrackedChanges(n);
      } else if (Is(n, kDraw, "frame")) {
        Frame(n, true);
      } else if (Is(n, kText, "bookmark") || Is(n, kText, "bookmark-start") ||
                 Is(n, kText, "bookmark-end")) {
        Bookmark(n, Is(n, kText, "bookmark") ? 0 : (Is(n, kText, "bookmark-start") ? 1 : 2));
      } else if (!Is(n, kText, "sequence-decls") && !Is(n, kOffice, "forms")) {
        Block(n, depth + 1);  // lists, sections, tables: their paragraphs in order
      }
    }
  }

  void Finish() {
    for (auto& [name, start] : open_bookmarks) doc.bookmarks.push_back({0, name, start, start});
    std::vector<RevisionRec> kept;
    for (auto& r : doc.revisions) {
      if (r.start < 0) continue;  // a region the text never refers to
      kept.push_back(std::move(r));
    }
    doc.revisions = std::move(kept);
  }
};

}  // namespace

DocumentFile ParseFodt(std::string_view bytes) {
  if (bytes.size() > kMaxDocumentFileBytes) {
    ThrowHost(host::kFileError, u"The document is too large to open: the file has more than " +
                                    ToText(static_cast<long long>(kMaxDocumentFileBytes)) +
                                    u" bytes");
  }
  XmlDocument xml;
  xml.set_keep_blank_text(true);                          // blanks between words are text
  if (!xml.LoadText(bytes)) Bad(u"not well-formed XML");  // sets the last system error
  const xmlNode* root = xml.DocumentElement().raw();
  if (!Is(root, kOffice, "document")) Bad(u"no office:document root");
  std::string mime = Attr(root, kOffice, "mimetype");
  if (!mime.empty() && mime != kTextMime) Bad(u"not a text document");
  size_t used = 0;
  Reader reader(&used);
  const xmlNode* text = nullptr;
  for (auto* n = root->children; n != nullptr; n = n->next) {
    if (Is(n, kOffice, "automatic-styles") || Is(n, kOffice, "styles")) reader.Styles(n);
    if (Is(n, kOffice, "settings")) reader.Settings(n);
    if (Is(n, kOffice, "body")) {
      for (auto* b = n->children; b != nullptr; b = b->next)
        if (Is(b, kOffice, "text")) text = b;
    }
  }
  if (text == nullptr) Bad(u"no office:text body");
  reader.Block(text, 3);  // office:document, office:body, office:text
  reader.Finish();
  return std::move(reader.doc);
}

DocumentFile LoadDocumentFile(const std::u16string& path) {
  std::string bytes;
  int err = 0;
  switch (ReadRegularFile(ToPath(path), kMaxDocumentFileBytes, &bytes, &err)) {
    case FileReadStatus::kOk:
      return ParseFodt(bytes);
    case FileReadStatus::kTooLarge:
      ThrowHost(host::kFileError, u"The document is too large to open: the file has more than " +
                                      ToText(static_cast<long long>(kMaxDocumentFileBytes)) +
                                      u" bytes: " + path);
    case FileReadStatus::kFailed:
      SetLastSystemError(err);
      ThrowHost(host::kFileError, u"The file could not be read: " + path);
    case FileReadStatus::kMissing:
    case FileReadStatus::kNotRegular:
      break;
  }
  SetLastSystemError(err);
  ThrowHost(host::kFileError, u"The file could not be found or opened: " + path);
}

}  // namespace qnmuro::simhost
