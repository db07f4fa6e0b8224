#include "cli/control_check.h"

#include "addin/command_bar.h"
#include "base/text.h"
#include "config/vocabulary.h"
#include "platform/xml.h"
#include "transfer/url_operation.h"
#include "transfer/url_request.h"

namespace qnmuro::cli {
namespace {

std::u16string TextAt(const XmlNode& from, const char* path) {
  const XmlNode node = from ? from.SelectSingleNode(path) : XmlNode();
  return node ? node.Text() : std::u16string();
}

std::string Quoted(std::u16string_view text) {
  return "\"" + U8(text) + "\"";
}

void CheckKeywords(const XmlNode& root, std::vector<Finding>* out) {
  const std::u16string action = TextAt(root, "/config/document/action");
  if (ActionCode(action) == kActionUnknown) {
    out->push_back({"/config/document/action",
                    Quoted(action) + " is no action keyword: the add-in prepares nothing for it"});
  }
  const std::u16string method = TextAt(root, "/config/common/transferMethod");
  if (TransferMethodCode(method) == kTransferUnknown) {
    out->push_back({"/config/common/transferMethod", Quoted(method) + " is no transfer method"});
  }
  for (const char* list : {"/config/binarys/binary", "/config/binaryAssistants/binary"}) {
    const std::vector<XmlNode> binaries = root.SelectNodes(list);
    for (size_t i = 0; i < binaries.size(); ++i) {
      const std::u16string type = TextAt(binaries[i], "type");
      if (BinaryTypeCode(type) != kBinaryUnknown) continue;
      out->push_back({std::string(list) + "[" + std::to_string(i + 1) + "]/type",
                      Quoted(type) + " is no binary type"});
    }
  }
}

void CheckButtons(const std::u16string& list, std::vector<Finding>* out) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(u',', start);
    if (end == std::u16string::npos) end = list.size();
    const std::u16string caption = list.substr(start, end - start);
    bool known = caption.empty();
    for (size_t i = 0; i < kBarButtonCount; ++i) {
      known = known || caption == ButtonCaption(static_cast<BarButton>(i));
    }
    if (!known) {
      out->push_back({"/config/document/button",
                      Quoted(caption) + " is no button's caption (captions: 查看痕迹, 隐藏红头, "
                                        "引入文章, 引入签报, 更换模板, 查看原文, 加盖印章)"});
    }
    start = end + 1;
  }
}

void CheckContent(const ControlRecords& records, std::vector<Finding>* out) {
  const BinaryInfo* content = nullptr;
  for (const BinaryInfo& b : records.binarys) {
    if (b.type == kBinaryContent) content = &b;  // the last one wins, as at upload
  }
  if (content == nullptr) {
    out->push_back({"/config/binarys",
                    "no binary of type content: saving and closing upload to an empty address"});
  } else if (content->uploadUrl.empty()) {
    out->push_back({"/config/binarys/binary/uploadUrl",
                    "the content binary's uploadUrl is empty: saving and closing cannot upload"});
  }
}

}  // namespace

std::vector<Finding> CheckControlFile(const std::u16string& file, const ControlRecords& records) {
  std::vector<Finding> out;
  XmlDocument doc;
  if (!doc.LoadFile(file)) return out;  // the loader has said why already
  const XmlNode root = doc.Root();
  CheckKeywords(root, &out);
  CheckButtons(records.documentInfo.button, &out);
  CheckContent(records, &out);
  const char* root_element = root.SelectSingleNode("/config/common/http")
                                 ? "/config/common/http/rootUrl"
                                 : "/config/common/ftp/rootUrl";
  UrlOperation url;
  url.SetUrl(records.commonInfo.rootUrl);
  if (!HasUsableAddress(url)) {
    out.push_back({root_element, Quoted(records.commonInfo.rootUrl) +
                                     " is no http or https address with a host"});
  }
  return out;
}

}  // namespace qnmuro::cli
