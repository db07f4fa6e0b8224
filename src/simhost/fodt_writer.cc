// Writing Flat ODF text documents.
#include <algorithm>
#include <cstdio>

#include "base/error.h"
#include "base/text.h"
#include "platform/file_io.h"
#include "simhost/byte_base64.h"
#include "simhost/fodt_format.h"
#include "simhost/image_probe.h"
#include "simhost/sim_document.h"

namespace qnmuro::simhost {
namespace {

constexpr char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\""
    " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\""
    " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\""
    " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\""
    " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\""
    " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\""
    " xmlns:xlink=\"http://www.w3.org/1999/xlink\""
    " xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
    " xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\""
    " xmlns:qn=\"urn:qnmuro:simhost:1.0\""
    " office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.text\">\n";

constexpr char kStyles[] =
    " <office:automatic-styles>\n"
    "  <style:style style:name=\"qnFront\" style:family=\"graphic\"><style:graphic-properties"
    " style:wrap=\"run-through\" style:run-through=\"foreground\" style:vertical-pos=\"from-top\""
    " style:vertical-rel=\"page\" style:horizontal-pos=\"from-left\""
    " style:horizontal-rel=\"page\"/></style:style>\n"
    "  <style:style style:name=\"qnBehind\" style:family=\"graphic\"><style:graphic-properties"
    " style:wrap=\"run-through\" style:run-through=\"background\" style:vertical-pos=\"from-top\""
    " style:vertical-rel=\"page\" style:horizontal-pos=\"from-left\""
    " style:horizontal-rel=\"page\"/></style:style>\n"
    " </office:automatic-styles>\n";

void AppendEscaped(std::string& out, std::string_view utf8) {
  for (char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
}

void AppendEscaped(std::string& out, std::u16string_view text) {
  AppendEscaped(out, U8(text));
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", v);
  return buf;
}

std::string Date(TimePoint t) {
  LocalTime l = ToLocalTime(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", l.year, l.month, l.day, l.hour,
                l.minute, l.second);
  return buf;
}

// Writes one paragraph's text piece. Spaces that XML readers would fold (at the start of a
// piece, or after another space) become text:s, so that no piece is blank; tabs, line breaks
// and other control characters get their own elements.
void AppendText(std::string& out, std::u16string_view text) {
  std::u16string run;
  auto flush = [&] {
    AppendEscaped(out, run);
    run.clear();
  };
  bool after_space = true;
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u' ' && (after_space || i + 1 == text.size())) {
      size_t n = 1;
      while (i + n < text.size() && text[i + n] == u' ') ++n;
      flush();
      out += n == 1 ? "<text:s/>" : "<text:s text:c=\"" + std::to_string(n) + "\"/>";
      i += n - 1;
      after_space = true;
      continue;
    }
    if (c == u'\t') {
      flush();
      out += "<text:tab/>";
    } else if (c == 11) {
      flush();
      out += "<text:line-break/>";
    } else if (c < 0x20 || c == 0xFFFE || c == 0xFFFF) {
      flush();
      out += "<qn:c qn:code=\"" + std::to_string(static_cast<int>(c)) + "\"/>";
    } else {
      run += c;
    }
    after_space = c == u' ';
  }
  flush();
}

struct Mark {
  long position;
  int order;  // at one position: ends, deletions, starts
  std::string xml;
};

void AppendFrame(std::string& out, const FileShape& f) {
  const ShapeRec& s = f.shape;
  out += "  <draw:frame draw:style-name=\"";
  out += s.behind_text ? "qnBehind" : "qnFront";
  out += "\" draw:name=\"";
  AppendEscaped(out, s.name);
  out += "\" text:anchor-type=\"page\" text:anchor-page-number=\"" + std::to_string(f.page) +
         "\" svg:x=\"" + Number(s.left) + "pt\" svg:y=\"" + Number(s.top) + "pt\" svg:width=\"" +
         Number(s.width) + "pt\" svg:height=\"" + Number(s.height) + "pt\" draw:z-index=\"" +
         std::to_string(s.z) + "\"";
  if (!s.visible) out += " draw:display=\"none\"";
  std::string mime = s.image ? ProbeImage(*s.image).mime : "";
  out += "><draw:image draw:mime-type=\"" + mime + "\"><office:binary-data>";
  if (s.image) out += EncodeBytesBase64(*s.image);
  out += "</office:binary-data></draw:image></draw:frame>\n";
}

void AppendTrackedChanges(std::string& out, const DocumentFile& d, std::vector<Mark>& marks) {
  out += "  <text:tracked-changes text:track-changes=\"";
  out += d.track_revisions ? "true" : "false";
  out += "\">\n";
  for (size_t i = 0; i < d.revisions.size(); ++i) {
    const RevisionRec& r = d.revisions[i];
    std::string id = "ct" + std::to_string(i + 1);
    bool insert = r.kind == hostkit::RevisionInfo::Kind::kInsert;
    out += "   <text:changed-region text:id=\"" + id + "\">";
    out += insert ? "<text:insertion>" : "<text:deletion>";
    out += "<office:change-info><dc:creator>";
    AppendEscaped(out, r.author);
    out += "</dc:creator><dc:date>" + Date(r.time) + "</dc:date></office:change-info>";
    if (insert) {
      out += "</text:insertion>";
      marks.push_back({r.end, 0, "<text:change-end text:change-id=\"" + id + "\"/>"});
      marks.push_back({r.start, 3, "<text:change-start text:change-id=\"" + id + "\"/>"});
    } else {
      size_t from = 0;
      std::u16string_view t = r.deleted_text;
      while (true) {
        size_t cr = t.find(u'\r', from);
        out += "<text:p>";
        AppendText(out, t.substr(from, cr == std::u16string_view::npos ? cr : cr - from));
        out += "</text:p>";
        if (cr == std::u16string_view::npos) break;
        from = cr + 1;
      }
      out += "</text:deletion>";
      marks.push_back({r.start, 2, "<text:change text:change-id=\"" + id + "\"/>"});
    }
    out += "</text:changed-region>\n";
  }
  out += "  </text:tracked-changes>\n";
}

void AppendSettings(std::string& out, const DocumentFile& d) {
  out += " <office:settings>\n  <config:config-item-set config:name=\"qn:document\">\n";
  auto item = [&](const char* name, const char* type, const std::string& value) {
    out += "   <config:config-item config:name=\"" + std::string(name) + "\" config:type=\"" +
           type + "\">" + value + "</config:config-item>\n";
  };
  item("ProtectionType", "int", std::to_string(d.protection));
  item("ProtectionKey", "string", d.protection_key);
  item("ShowRevisions", "boolean", d.show_revisions ? "true" : "false");
  item("PrintRevisions", "boolean", d.print_revisions ? "true" : "false");
  out += "  </config:config-item-set>\n </office:settings>\n";
}

}  // namespace

std::string SerializeFodt(const DocumentFile& d) {
  std::string out = kHeader;
  AppendSettings(out, d);
  out += kStyles;
  out += " <office:body>\n  <office:text>\n";
  std::vector<Mark> marks;
  AppendTrackedChanges(out, d, marks);
  for (const auto& s : d.shapes) AppendFrame(out, s);
  for (const auto& b : d.bookmarks) {
    std::string name;
    AppendEscaped(name, b.name);
    if (b.start == b.end) {
      marks.push_back({b.start, 4, "<text:bookmark text:name=\"" + name + "\"/>"});
    } else {
      marks.push_back({b.start, 5, "<text:bookmark-start text:name=\"" + name + "\"/>"});
      marks.push_back({b.end, 1, "<text:bookmark-end text:name=\"" + name + "\"/>"});
    }
  }
  std::stable_sort(marks.begin(), marks.end(), [](const Mark& x, const Mark& y) {
    return x.position != y.position ? x.position < y.position : x.order < y.order;
  });
  std::u16string_view text = d.text;
  size_t next_mark = 0;
  long pos = 0, n = static_cast<long>(text.size());
  out += "   <text:p>";
  while (true) {
    while (next_mark < marks.size() && marks[next_mark].position <= pos)
      out += marks[next_mark++].xml;
    if (pos >= n) break;
    long stop = n;
    if (next_mark < marks.size()) stop = std::min(stop, marks[next_mark].position);
    size_t cr = text.find(u'\r', static_cast<size_t>(pos));
    if (cr != std::u16string_view::npos && static_cast<long>(cr) < stop) {
      AppendText(out, text.substr(pos, cr - pos));
      out += "</text:p>\n   <text:p>";
      pos = static_cast<long>(cr) + 1;
    } else {
      AppendText(out, text.substr(pos, stop - pos));
      pos = stop;
    }
  }
  out += "</text:p>\n  </office:text>\n </office:body>\n</office:document>\n";
  return out;
}

void SaveDocumentFile(const std::u16string& path, const DocumentFile& document) {
  // The reader's bounds: a document saved must open again.
  size_t chars = document.text.size();
  for (const auto& r : document.revisions) chars += r.deleted_text.size();
  if (chars > kMaxDocumentChars) {
    ThrowHost(host::kFileError, u"The document is too large to save: it holds more than " +
                                    ToText(static_cast<long long>(kMaxDocumentChars)) +
                                    u" characters of text: " + path);
  }
  for (const auto& s : document.shapes) {
    if (s.shape.image && s.shape.image->size() > kMaxPictureBytes) {
      ThrowHost(host::kFileError,
                u"The document is too large to save: it holds a picture of more "
                u"than " +
                    ToText(static_cast<long long>(kMaxPictureBytes)) + u" bytes: " + path);
    }
  }
  const std::string bytes = SerializeFodt(document);
  if (bytes.size() > kMaxDocumentFileBytes) {
    ThrowHost(host::kFileError,
              u"The document is too large to save: the file would have more "
              u"than " +
                  ToText(static_cast<long long>(kMaxDocumentFileBytes)) + u" bytes: " + path);
  }
  if (const int err = ReplaceFileContents(ToPath(path), bytes)) {
    SetLastSystemError(err);
    ThrowHost(host::kFileError, u"The file could not be written: " + path);
  }
}

}  // namespace qnmuro::simhost
