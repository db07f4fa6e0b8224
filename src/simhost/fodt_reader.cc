// Reading Flat ODF text documents. The file is parsed with the add-in's own XML settings
// (platform/xml.h: no entity expansion, no network, bounded size and depth), keeping
// white-space text, as the reader needs every text node as it stands and attributes by
// namespace.
#include <algorithm>
#include <cstdlib>
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

constexpr char16_t kOffice[] = u"urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr char16_t kText[] = u"urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr char16_t kDraw[] = u"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0";
constexpr char16_t kStyle[] = u"urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr char16_t kSvg[] = u"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0";
constexpr char16_t kDc[] = u"http://purl.org/dc/elements/1.1/";
constexpr char16_t kConfig[] = u"urn:oasis:names:tc:opendocument:xmlns:config:1.0";
constexpr char16_t kQn[] = u"urn:qnmuro:simhost:1.0";
constexpr char16_t kXml[] = u"http://www.w3.org/XML/1998/namespace";
constexpr char kTextMime[] = "application/vnd.oasis.opendocument.text";

[[noreturn]] void Bad(std::u16string_view why) {
  ThrowHost(host::kFileError, u"The file is not a readable document: " + std::u16string(why));
}

bool Is(const XmlNode& n, const char16_t* ns, const char16_t* name) {
  return n.IsElement(ns, name);
}

// An attribute's value (UTF-8). Only its text counts: a reference to an entity the file
// declares adds nothing, so that no value can be blown up by nested entities.
std::string Attr(const XmlNode& n, const char16_t* ns, const char16_t* name) {
  std::optional<std::u16string> value = n.AttributeNs(ns, name);
  return value ? Utf16ToUtf8(*value) : std::string();
}

// The text of an element's descendants, by the same rule; iterative, so depth costs no stack.
std::u16string Content(const XmlNode& top) {
  std::u16string s;
  XmlNode n = top.FirstChild();
  while (n && n != top) {
    if (n.IsText()) s += n.Text();
    if (n.IsElement()) {
      if (XmlNode child = n.FirstChild()) {
        n = child;
        continue;
      }
    }
    XmlNode next;
    while (n != top && !(next = n.NextSibling())) n = n.Parent();
    if (n != top) n = next;
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

  void Styles(const XmlNode& styles) {
    for (XmlNode s = styles.FirstChild(); s; s = s.NextSibling()) {
      if (!Is(s, kStyle, u"style")) continue;
      for (XmlNode p = s.FirstChild(); p; p = p.NextSibling()) {
        if (Is(p, kStyle, u"graphic-properties"))
          behind_styles[Attr(s, kStyle, u"name")] = Attr(p, kStyle, u"run-through") == "background";
      }
    }
  }

  void Settings(const XmlNode& settings) {
    for (XmlNode set = settings.FirstChild(); set; set = set.NextSibling()) {
      if (!Is(set, kConfig, u"config-item-set") || Attr(set, kConfig, u"name") != "qn:document")
        continue;
      for (XmlNode item = set.FirstChild(); item; item = item.NextSibling()) {
        if (!Is(item, kConfig, u"config-item")) continue;
        std::string name = Attr(item, kConfig, u"name"), value = Utf16ToUtf8(Content(item));
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

  void TrackedChanges(const XmlNode& tc) {
    doc.track_revisions = Attr(tc, kText, u"track-changes") == "true";
    for (XmlNode region = tc.FirstChild(); region; region = region.NextSibling()) {
      if (!Is(region, kText, u"changed-region")) continue;
      std::string id = Attr(region, kText, u"id");
      if (id.empty()) id = Attr(region, kXml, u"id");
      for (XmlNode change = region.FirstChild(); change; change = change.NextSibling()) {
        bool insert = Is(change, kText, u"insertion");
        if (!insert && !Is(change, kText, u"deletion")) continue;
        RevisionRec r;
        r.kind =
            insert ? hostkit::RevisionInfo::Kind::kInsert : hostkit::RevisionInfo::Kind::kDelete;
        r.start = r.end = -1;
        bool first = true;
        for (XmlNode c = change.FirstChild(); c; c = c.NextSibling()) {
          if (Is(c, kOffice, u"change-info")) {
            for (XmlNode i = c.FirstChild(); i; i = i.NextSibling()) {
              if (Is(i, kDc, u"creator")) r.author = Content(i);
              if (Is(i, kDc, u"date")) r.time = ParseDate(Utf16ToUtf8(Content(i)));
            }
          } else if (Is(c, kText, u"p") || Is(c, kText, u"h")) {
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

  void Frame(const XmlNode& f, bool page_anchored) {
    FileShape s;
    s.shape.name = U16(Attr(f, kDraw, u"name"));
    s.shape.left = Length(Attr(f, kSvg, u"x"));
    s.shape.top = Length(Attr(f, kSvg, u"y"));
    s.shape.width = Length(Attr(f, kSvg, u"width"));
    s.shape.height = Length(Attr(f, kSvg, u"height"));
    s.shape.z = Integer(Attr(f, kDraw, u"z-index"), 0);
    s.shape.visible = Attr(f, kDraw, u"display") != "none";
    auto style = behind_styles.find(Attr(f, kDraw, u"style-name"));
    s.shape.behind_text = style != behind_styles.end() && style->second;
    s.page = page_anchored ? std::max(1L, Integer(Attr(f, kText, u"anchor-page-number"), 1)) : 0;
    for (XmlNode img = f.FirstChild(); img; img = img.NextSibling()) {
      if (!Is(img, kDraw, u"image")) continue;
      for (XmlNode data = img.FirstChild(); data; data = data.NextSibling()) {
        if (!Is(data, kOffice, u"binary-data")) continue;
        auto bytes = DecodeBytesBase64(Utf16ToUtf8(Content(data)));
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

  void Bookmark(const XmlNode& n, int what) {  // 0 collapsed, 1 start, 2 end
    std::u16string name = U16(Attr(n, kText, u"name"));
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

  void Change(const XmlNode& n, int what) {  // 0 point (deletion), 1 start, 2 end
    auto it = change_index.find(Attr(n, kText, u"change-id"));
    if (it == change_index.end()) return;
    RevisionRec& r = doc.revisions[it->second];
    if (what == 2) {
      r.end = Pos();
    } else {
      r.start = Pos();
      if (what == 0 || r.end < 0) r.end = Pos();
    }
  }

  void Inline(const XmlNode& parent, int depth) {
    CheckDepth(depth);
    for (XmlNode n = parent.FirstChild(); n; n = n.NextSibling()) {
      if (n.IsText()) {
        AppendChars(n.Text());
      } else if (!n.IsElement()) {
        continue;  // comments, processing instructions, entity references
      } else if (Is(n, kText, u"s")) {
        Blanks(Integer(Attr(n, kText, u"c"), 1));
      } else if (Is(n, kText, u"tab")) {
        Literal(u"\t");
      } else if (Is(n, kText, u"line-break")) {
        Literal(u"\v");
      } else if (Is(n, kQn, u"c")) {
        long code = Integer(Attr(n, kQn, u"code"), 0);
        if (code > 0 && code < 0x10000) Literal(std::u16string(1, static_cast<char16_t>(code)));
      } else if (Is(n, kText, u"bookmark")) {
        Bookmark(n, 0);
      } else if (Is(n, kText, u"bookmark-start")) {
        Bookmark(n, 1);
      } else if (Is(n, kText, u"bookmark-end")) {
        Bookmark(n, 2);
      } else if (Is(n, kText, u"change")) {
        Change(n, 0);
      } else if (Is(n, kText, u"change-start")) {
        Change(n, 1);
      } else if (Is(n, kText, u"change-end")) {
        Change(n, 2);
      } else if (Is(n, kDraw, u"frame")) {
        Frame(n, Attr(n, kText, u"anchor-type") == "page");
      } else if (Is(n, kText, u"note") || Is(n, kOffice, u"annotation")) {
        continue;  // notes and comments are not main text
      } else {
        Inline(n, depth + 1);  // spans, links, fields: their text
      }
    }
  }

  void Paragraph(const XmlNode& p, int depth) {
    if (!first_paragraph) {
      Grow(1);
      doc.text += u'\r';
    }
    first_paragraph = false;
    after_space = true;  // leading white space of a paragraph is not text
    Inline(p, depth);
  }

  void Block(const XmlNode& parent, int depth) {
    CheckDepth(depth);
    for (XmlNode n = parent.FirstChild(); n; n = n.NextSibling()) {
      if (!n.IsElement()) continue;
      if (Is(n, kText, u"p") || Is(n, kText, u"h")) {
        Paragraph(n, depth + 1);
      } else if (Is(n, kText, u"tracked-changes")) {
        TrackedChanges(n);
      } else if (Is(n, kDraw, u"frame")) {
        Frame(n, true);
      } else if (Is(n, kText, u"bookmark") || Is(n, kText, u"bookmark-start") ||
                 Is(n, kText, u"bookmark-end")) {
        Bookmark(n, Is(n, kText, u"bookmark") ? 0 : (Is(n, kText, u"bookmark-start") ? 1 : 2));
      } else if (!Is(n, kText, u"sequence-decls") && !Is(n, kOffice, u"forms")) {
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
  const XmlNode root = xml.DocumentElement();
  if (!Is(root, kOffice, u"document")) Bad(u"no office:document root");
  std::string mime = Attr(root, kOffice, u"mimetype");
  if (!mime.empty() && mime != kTextMime) Bad(u"not a text document");
  size_t used = 0;
  Reader reader(&used);
  XmlNode text;
  for (XmlNode n = root.FirstChild(); n; n = n.NextSibling()) {
    if (Is(n, kOffice, u"automatic-styles") || Is(n, kOffice, u"styles")) reader.Styles(n);
    if (Is(n, kOffice, u"settings")) reader.Settings(n);
    if (Is(n, kOffice, u"body")) {
      for (XmlNode b = n.FirstChild(); b; b = b.NextSibling())
        if (Is(b, kOffice, u"text")) text = b;
    }
  }
  if (!text) Bad(u"no office:text body");
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
