#include "config/config.h"

#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/file_io.h"
#include "platform/ui.h"
#include "platform/xml.h"

namespace qnmuro {
namespace {

constexpr char16_t kInitLabel[] = u"Config.Init() Error:";
constexpr char16_t kSchemaLabel[] = u"执行Schema检查时发生错误：";

bool IsAsciiSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

// The log switch as the control file writes it: "true"/"false" in any letter case, or a
// number where 0 means false. Anything else is a type mismatch.
bool ToBoolean(std::u16string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  if (EqualsIgnoreCase(text, u"true")) return true;
  if (EqualsIgnoreCase(text, u"false")) return false;
  size_t i = 0;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
  bool digits = false;
  bool nonzero = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= u'0' && c <= u'9') {
      digits = true;
      nonzero = nonzero || c != u'0';
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits && i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    size_t j = i + 1;
    if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
    const size_t exponent_start = j;
    while (j < text.size() && text[j] >= u'0' && text[j] <= u'9') ++j;
    if (j > exponent_start) i = j;
  }
  if (!digits || i != text.size()) throw MakeError(kErrTypeMismatch);
  return nonzero;
}

std::string Indexed(const char* path, size_t i) {
  return std::string(path) + "[" + std::to_string(i + 1) + "]";
}

// Reads one control file into fresh records. Every failure throws; where() then names the
// field being read.
class ControlReader {
 public:
  explicit ControlReader(const XmlDocument& doc) : top_(doc.Root()) {}

  const std::u16string& where() const { return where_; }

  // `live_switch` (may be null) receives clientLog as soon as it has been read.
  void Read(ControlRecords& out, bool* live_switch) {
    CommonInfo& common = out.commonInfo;
    common.clientLog = ToBoolean(Text(top_, "/config/common/clientLog"));
    if (live_switch != nullptr) *live_switch = common.clientLog;

    XmlNode http = top_.SelectSingleNode("/config/common/http");
    if (http) {
      common.rootUrl = Text(http, "/config/common/http", "rootUrl");
    } else {
      // Without either container the rootUrl read below fails as a missing element.
      common.rootUrl =
          Text(top_.SelectSingleNode("/config/common/ftp"), "/config/common/ftp", "rootUrl");
    }
    common.dept = Text(top_, "/config/common/user/dept");
    common.name = Text(top_, "/config/common/user/name");
    common.lastName = Text(top_, "/config/common/user/lastName");
    common.fullName = Text(top_, "/config/common/user/fullName");
    common.password = Text(top_, "/config/common/user/password");
    common.transferMethod = TransferMethodCode(Text(top_, "/config/common/transferMethod"));

    out.binarys = ReadBinaries("/config/binarys/binary", true);
    out.binaryAssistants = ReadBinaries("/config/binaryAssistants/binary", false);
    out.wordNames = ReadWordNames("/config/wordConfig/wordName");
    out.sealWordNames = ReadWordNames("/config/sealConfig/wordName");

    DocumentInfo& doc = out.documentInfo;
    doc.action = ActionCode(Text(top_, "/config/document/action"));
    ReadDatabase("/config/document/binaryDatabase", doc.binaryDatabase);
    ReadDatabase("/config/document/database", doc.database);
    doc.status = Text(top_, "/config/document/status");
    doc.unid = Text(top_, "/config/document/unid");
    doc.button = Text(top_, "/config/document/button");

    out.extendParameters.clear();
    const std::vector<XmlNode> parameters = top_.SelectNodes("/config/extend/parameter");
    for (size_t i = 0; i < parameters.size(); ++i) {
      const std::string at = Indexed("/config/extend/parameter", i);
      ParameterInfo p;
      p.name = Text(parameters[i], at, "name");
      p.value = Text(parameters[i], at, "value");
      out.extendParameters.push_back(std::move(p));
    }
    out.extendParameters.emplace_back();  // callers rely on a trailing empty entry
  }

 private:
  // The text of the element at `path` (absolute from the document), which must exist.
  std::u16string Text(XmlNode from, const std::string& path) {
    where_ = U16(path);
    return Required(from.SelectSingleNode(path)).Text();
  }
  // The text of the child `child` of `from`, which lies at `at` in the file.
  std::u16string Text(XmlNode from, const std::string& at, const char* child) {
    where_ = U16(at + "/" + child);
    if (!from) throw MakeError(kErrObjectNotSet);
    return Required(from.SelectSingleNode(child)).Text();
  }
  static XmlNode Required(XmlNode node) {
    if (!node) throw MakeError(kErrObjectNotSet);
    return node;
  }

  std::vector<BinaryInfo> ReadBinaries(const char* path, bool with_draft_url) {
    std::vector<BinaryInfo> list;
    const std::vector<XmlNode> nodes = top_.SelectNodes(path);
    for (size_t i = 0; i < nodes.size(); ++i) {
      const std::string at = Indexed(path, i);
      BinaryInfo b;
      b.uploadUrl = Text(nodes[i], at, "uploadUrl");
      b.fileName = Text(nodes[i], at, "fileName");
      b.title = Text(nodes[i], at, "title");
      b.type = BinaryTypeCode(Text(nodes[i], at, "type"));
      b.downloadUrl = Text(nodes[i], at, "downloadUrl");
      b.valueType = ValueTypeCode(Text(nodes[i], at, "valueType"));
      if (with_draft_url) b.draftUrl = Text(nodes[i], at, "draftUrl");
      list.push_back(std::move(b));
    }
    if (list.empty()) list.emplace_back();
    return list;
  }

  std::vector<WordNameInfo> ReadWordNames(const char* path) {
    std::vector<WordNameInfo> list;
    const std::vector<XmlNode> nodes = top_.SelectNodes(path);
    for (size_t i = 0; i < nodes.size(); ++i) {
      const std::string at = Indexed(path, i);
      WordNameInfo w;
      w.name = Attribute(nodes[i], at, u"name");
      w.unid = Attribute(nodes[i], at, u"unid");
      const std::vector<XmlNode> names = nodes[i].SelectNodes("templateName");
      const std::vector<XmlNode> files = nodes[i].SelectNodes("templateFile");
      for (size_t k = 0; k < names.size(); ++k) {
        where_ = U16(Indexed((at + "/templateName").c_str(), k));
        w.templateName.push_back(names[k].Text());
        where_ = U16(Indexed((at + "/templateFile").c_str(), k));
        if (k >= files.size()) throw MakeError(kErrObjectNotSet);
        w.templateFile.push_back(files[k].Text());
      }
      list.push_back(std::move(w));
    }
    if (list.empty()) list.emplace_back();
    return list;
  }

  std::u16string Attribute(XmlNode node, const std::string& at, const char16_t* name) {
    where_ = U16(at) + u"/@" + name;
    std::optional<std::u16string> value = node.Attribute(name);
    if (!value) throw MakeError(kErrObjectNotSet);
    return *value;
  }

  void ReadDatabase(const std::string& at, DatabaseInfo& db) {
    db.fileName = Text(top_, at + "/fileName");
    db.filePath = Text(top_, at + "/filePath");
    db.server.address = Text(top_, at + "/server/address");
    db.server.name = Text(top_, at + "/server/name");
    db.server.title = Text(top_, at + "/server/title");
    db.title = Text(top_, at + "/title");
  }

  XmlNode top_;
  std::u16string where_;
};

}  // namespace

Config::Config(Context& ctx) : ctx_(ctx) {}

void Config::Report(std::u16string_view label, const Error* error) {
  // After a load that merely failed no error is pending: empty description, number 0.
  const Error none(0, u"", u"");
  last_report_ = ComposeErrorReport(label, last_error_, error != nullptr ? *error : none);
  WriteErrorLog(ctx_.state, last_report_, error);
}

bool Config::Init(std::u16string_view path) {
  SharedState* state = ctx_.state;
  XmlDocument doc;
  bool ok = doc.LoadFile(path);
  reason_.clear();
  if (!ok) {
    last_error_ = u"初始化控制参数时，无法打开配置文件：" + std::u16string(path);
    reason_ = XmlFileTrouble(path, doc.parse_error());
    Report(kInitLabel, nullptr);
  } else {
    auto fresh = std::make_unique<ControlRecords>();
    ControlReader reader(doc);
    ok = TrapFirstFailure(
        [&] {
          SetLastSystemError(0);
          reader.Read(*fresh, state != nullptr ? &state->records.commonInfo.clientLog : nullptr);
        },
        [&](const Error& error) {
          last_error_ = reader.where();
          if (error.number() == kErrObjectNotSet) {
            reason_ = u"the required element " + last_error_ + u" is missing";
          } else if (error.number() == kErrTypeMismatch) {
            reason_ = last_error_ + u" must be true, false or a number";
          } else {
            reason_ = last_error_ + u" cannot be read: " + error.description();
          }
          Report(kInitLabel, &error);
        });
    if (ok && state != nullptr) {
      fresh->commonInfo.clientLog = state->records.commonInfo.clientLog;
      state->records = std::move(*fresh);
    }
  }
  if (state != nullptr) state->controlLoadFailed = !ok;
  initialised_ = ok;
  return ok;
}

bool Config::CheckInitFlag() {
  if (!initialised_ && ctx_.ui != nullptr) {
    ctx_.ui->ShowMessage(u"对不起，参数没有初始化！", MsgButtons::kOk, MsgIcon::kInformation,
                         u"QN-Velto");
  }
  return initialised_;
}

bool Config::CheckSchema(std::u16string_view xml_path, std::u16string_view namespace_uri,
                         std::u16string_view xsd_path) {
  bool valid = false;
  reason_.clear();
  TrapFirstFailure(
      [&] {
        XmlSchemaSet schemas;
        schemas.Add(namespace_uri, xsd_path);
        XmlDocument doc;
        if (doc.LoadFile(xml_path, &schemas)) {
          valid = true;
          return;
        }
        last_error_ = ToText(doc.parse_error().code) + u" " + doc.parse_error().reason;
        reason_ = u"not valid against the schema: " + doc.parse_error().reason;
        Report(kSchemaLabel, nullptr);
      },
      [&](const Error& error) {
        reason_ =
            u"the schema " + std::u16string(xsd_path) + u" cannot be used: " + error.description();
        Report(kSchemaLabel, &error);
      });
  return valid;
}

bool Config::InitWithSchemaCheck(std::u16string_view xml_path, std::u16string_view namespace_uri,
                                 std::u16string_view xsd_path) {
  initialised_ = CheckSchema(xml_path, namespace_uri, xsd_path) && Init(xml_path);
  return initialised_;
}

}  // namespace qnmuro
