#include "config/control_rules.h"

#include <algorithm>
#include <map>

#include "base/text.h"
#include "common/url_operation.h"
#include "config/vocabulary.h"
#include "platform/xml.h"

namespace qnmuro {
namespace {

// The elements a control file may hold, by their parent's name: (name, how often at most; 0 for
// any number). The loader takes the first of an element it reads once and ignores the rest.
struct Child {
  std::u16string_view name;
  int most;
};
const std::map<std::u16string_view, std::vector<Child>>& KnownChildren() {
  static const std::map<std::u16string_view, std::vector<Child>> known = {
      {u"config",
       {{u"common", 1},
        {u"binarys", 1},
        {u"binaryAssistants", 1},
        {u"wordConfig", 1},
        {u"sealConfig", 1},
        {u"document", 1},
        {u"extend", 1}}},
      {u"common",
       {{u"clientLog", 1}, {u"http", 1}, {u"ftp", 1}, {u"user", 1}, {u"transferMethod", 1}}},
      {u"http", {{u"rootUrl", 1}}},
      {u"ftp", {{u"rootUrl", 1}}},
      {u"user", {{u"dept", 1}, {u"name", 1}, {u"lastName", 1}, {u"fullName", 1}, {u"password", 1}}},
      {u"binarys", {{u"binary", 0}}},
      {u"binaryAssistants", {{u"binary", 0}}},
      {u"binary",
       {{u"uploadUrl", 1},
        {u"fileName", 1},
        {u"title", 1},
        {u"type", 1},
        {u"downloadUrl", 1},
        {u"valueType", 1},
        {u"draftUrl", 1}}},
      {u"wordConfig", {{u"wordName", 0}}},
      {u"sealConfig", {{u"wordName", 0}}},
      {u"wordName", {{u"templateName", 0}, {u"templateFile", 0}}},
      {u"document",
       {{u"action", 1},
        {u"binaryDatabase", 1},
        {u"database", 1},
        {u"status", 1},
        {u"unid", 1},
        {u"button", 1}}},
      {u"binaryDatabase", {{u"fileName", 1}, {u"filePath", 1}, {u"title", 1}, {u"server", 1}}},
      {u"database", {{u"fileName", 1}, {u"filePath", 1}, {u"title", 1}, {u"server", 1}}},
      {u"server", {{u"address", 1}, {u"name", 1}, {u"title", 1}}},
      {u"extend", {{u"parameter", 0}}},
      {u"parameter", {{u"name", 1}, {u"value", 1}}},
  };
  return known;
}

// Edits (insert, delete, replace; letter case costs nothing) from `a` to `b`.
size_t Distance(std::u16string_view a, std::u16string_view b) {
  const std::u16string x = AsciiLower(a);
  const std::u16string y = AsciiLower(b);
  std::vector<size_t> row(y.size() + 1);
  for (size_t j = 0; j <= y.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= x.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= y.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[y.size()];
}

// The candidate nearest to `name`, when it is near enough to be what was meant.
template <class Names>
std::u16string Nearest(std::u16string_view name, const Names& candidates) {
  std::u16string best;
  size_t best_distance = std::max<size_t>(2, name.size() / 3) + 1;
  for (const auto& candidate : candidates) {
    const size_t d = Distance(name, candidate);
    if (d < best_distance) {
      best_distance = d;
      best = std::u16string(candidate);
    }
  }
  return best;
}

std::string Quoted(std::u16string_view text) {
  return "\"" + U8(text) + "\"";
}

std::u16string TextAt(const XmlNode& from, const char* path) {
  const XmlNode node = from ? from.SelectSingleNode(path) : XmlNode();
  return node ? node.Text() : std::u16string();
}

class Checker {
 public:
  explicit Checker(std::vector<Finding>* out) : out_(out) {}

  void Problem(std::string element, std::string text) {
    out_->push_back({Finding::kProblem, std::move(element), std::move(text)});
  }
  void Warn(std::string element, std::string text) {
    out_->push_back({Finding::kWarning, std::move(element), std::move(text)});
  }

  // Unknown and repeated elements below `node`, whose path is `path`.
  void Structure(const XmlNode& node, const std::string& path) {
    const auto known = KnownChildren().find(node.Name());
    std::map<std::u16string, int> seen;
    for (const XmlNode& child : node.Children()) {
      if (!child.IsElement()) continue;
      const std::u16string name = child.Name();
      const std::string child_path = path + "/" + U8(name);
      const int count = ++seen[name];
      if (known == KnownChildren().end()) continue;  // free content, e.g. a rootUrl's text
      const auto rule = std::find_if(known->second.begin(), known->second.end(),
                                     [&](const Child& c) { return c.name == name; });
      if (rule == known->second.end()) {
        std::vector<std::u16string_view> names;
        for (const Child& c : known->second) names.push_back(c.name);
        const std::u16string near = Nearest(name, names);
        Warn(child_path,
             "no such element: the add-in does not read it" +
                 (near.empty() ? std::string() : " (did you mean <" + U8(near) + ">?)"));
        continue;
      }
      if (rule->most == 1 && count == 2) {
        Problem(child_path,
                "appears more than once: the add-in reads the first and ignores the "
                "others");
      }
      if (count == 1 || rule->most == 0) {
        Structure(child,
                  rule->most == 0 ? child_path + "[" + std::to_string(count) + "]" : child_path);
      }
    }
  }

  void Keywords(const XmlNode& root) {
    const std::u16string action = TextAt(root, "/config/document/action");
    if (ActionCode(action) == kActionUnknown) {
      std::vector<std::u16string_view> names;
      for (int16_t code = kActionDraftDocument; code <= kActionAttachmentManage; ++code) {
        if (!ActionName(code).empty()) names.push_back(ActionName(code));
      }
      const std::u16string near = Nearest(action, names);
      Problem("/config/document/action",
              Quoted(action) + " is no action keyword: the add-in prepares nothing for it" +
                  (near.empty() ? std::string() : " (did you mean " + U8(near) + "?)"));
    }
    const std::u16string method = TextAt(root, "/config/common/transferMethod");
    if (TransferMethodCode(method) == kTransferUnknown) {
      Warn("/config/common/transferMethod", Quoted(method) + " is no transfer method");
    }
    for (const char* list : {"/config/binarys/binary", "/config/binaryAssistants/binary"}) {
      const std::vector<XmlNode> binaries = root.SelectNodes(list);
      for (size_t i = 0; i < binaries.size(); ++i) {
        const std::u16string type = TextAt(binaries[i], "type");
        if (BinaryTypeCode(type) != kBinaryUnknown) continue;
        Warn(std::string(list) + "[" + std::to_string(i + 1) + "]/type",
             Quoted(type) + " is no binary type");
      }
    }
  }

  void Buttons(const ControlRecords& records) {
    const std::u16string& list = records.documentInfo.button;
    std::string captions;
    for (std::u16string_view caption : kButtonCaptions) {
      if (caption == kCaptionBackToSystem) continue;  // always there, never listed
      captions += (captions.empty() ? "" : ", ") + U8(caption);
    }
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(u',', start);
      if (end == std::u16string::npos) end = list.size();
      const std::u16string caption = list.substr(start, end - start);
      const bool known =
          caption.empty() || std::find(std::begin(kButtonCaptions), std::end(kButtonCaptions),
                                       caption) != std::end(kButtonCaptions);
      if (!known) {
        Warn("/config/document/button",
             Quoted(caption) + " is no button's caption (captions: " + captions + ")");
      }
      start = end + 1;
    }
    if (list.find(kCaptionSetSeal) != std::u16string::npos && OfferedSeals(records).empty()) {
      Warn("/config/sealConfig",
           "the button list shows 加盖印章 but no seal is offered (a "
           "wordName with a unid and templateName elements)");
    }
  }

  void Content(const ControlRecords& records) {
    if (!ActionUploads(records.documentInfo.action)) return;
    const BinaryInfo* content = ContentBinary(records);
    if (content == nullptr) {
      Problem("/config/binarys",
              "no binary of type content: saving and closing upload to an empty address");
    } else if (content->uploadUrl.empty()) {
      Problem("/config/binarys/binary/uploadUrl",
              "the content binary's uploadUrl is empty: saving and closing cannot upload");
    } else if (!UsableUploadAddress(content->uploadUrl)) {
      Problem("/config/binarys/binary/uploadUrl",
              Quoted(content->uploadUrl) +
                  " is no absolute http or https address: saving and closing cannot upload");
    }
  }

  void RootUrl(const XmlNode& root, const ControlRecords& records) {
    const char* element = root.SelectSingleNode("/config/common/http")
                              ? "/config/common/http/rootUrl"
                              : "/config/common/ftp/rootUrl";
    if (!UsableUploadAddress(records.commonInfo.rootUrl)) {
      Warn(element,
           Quoted(records.commonInfo.rootUrl) + " is no http or https address with a host");
    }
  }

  void Password(const ControlRecords& records) {
    const std::u16string& password = records.commonInfo.password;
    const bool hex = std::all_of(password.begin(), password.end(), [](char16_t c) {
      return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
    });
    if (!password.empty() && (!hex || password.size() % 2 != 0)) {
      Warn("/config/common/user/password",
           "is not enciphered (hex digits, two per character): the add-in deciphers it and "
           "sends what comes out, not this text");
    }
  }

  void Templates(const ControlRecords& records) {
    for (size_t i = 0; i < records.wordNames.size(); ++i) {
      const WordNameInfo& entry = records.wordNames[i];
      for (const std::u16string& file : entry.templateFile) {
        if (TemplateOffered(file)) continue;
        Warn("/config/wordConfig/wordName[" + std::to_string(i + 1) + "]/templateFile",
             Quoted(file) +
                 " is never offered: the template dialog lists only files whose "
                 "name contains .wps");
      }
    }
  }

 private:
  std::vector<Finding>* out_;
};

// What each action does with the document; an action not listed does nothing of these.
struct ActionRule {
  int16_t action;
  Preparation preparation;
  bool uploads;
};
constexpr ActionRule kActionRules[] = {
    {kActionDraftDocument, Preparation::kDraft, true},
    {kActionViewDocument, Preparation::kView, false},
    {kActionApproveDocument, Preparation::kApprove, true},
    {kActionFinalizeDocument, Preparation::kFinalize, true},
    {kActionConfig, Preparation::kNone, true},
};

const ActionRule* RuleOf(int16_t action) {
  for (const ActionRule& rule : kActionRules) {
    if (rule.action == action) return &rule;
  }
  return nullptr;
}

}  // namespace

Preparation ActionPreparation(int16_t action) {
  const ActionRule* rule = RuleOf(action);
  return rule == nullptr ? Preparation::kNone : rule->preparation;
}

bool ActionUploads(int16_t action) {
  const ActionRule* rule = RuleOf(action);
  return rule != nullptr && rule->uploads;
}

bool ActionMerges(int16_t action) {
  return ActionPreparation(action) != Preparation::kNone;
}

const BinaryInfo* ContentBinary(const ControlRecords& records) {
  const BinaryInfo* content = nullptr;
  for (const BinaryInfo& binary : records.binarys) {
    if (binary.type == kBinaryContent) content = &binary;
  }
  return content;
}

std::u16string UploadQuery(std::u16string_view unid, long action) {
  return u"&action=upload&unid=" + std::u16string(unid) + u"&method=replacecontent&ctlaction=" +
         ToText(action);
}

bool UsableUploadAddress(std::u16string_view url) {
  UrlOperation operation;
  operation.SetUrl(std::u16string(url));
  return HasUsableAddress(operation);
}

bool TemplateOffered(std::u16string_view template_file) {
  return AsciiLower(template_file).find(u".wps") != std::u16string::npos;
}

std::vector<std::u16string> OfferedSeals(const ControlRecords& records) {
  std::vector<std::u16string> names;
  for (const WordNameInfo& entry : records.sealWordNames) {
    if (entry.unid.empty()) break;
    names.insert(names.end(), entry.templateName.begin(), entry.templateName.end());
  }
  return names;
}

std::vector<Finding> CheckControlFile(std::u16string_view file, const ControlRecords& records) {
  std::vector<Finding> out;
  XmlDocument doc;
  if (!doc.LoadFile(file)) return out;
  const XmlNode root = doc.Root();
  Checker check(&out);
  const XmlNode top = doc.DocumentElement();
  if (top && top.Name() == u"config") check.Structure(top, "/config");
  check.Keywords(root);
  check.Buttons(records);
  check.Content(records);
  check.RootUrl(root, records);
  check.Password(records);
  check.Templates(records);
  return out;
}

}  // namespace qnmuro
