#include "config/vocabulary.h"

#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

struct Keyword {
  std::u16string_view text;
  int16_t code;
};

template <size_t N>
int16_t Lookup(const Keyword (&table)[N], std::u16string_view keyword, int16_t fallback) {
  const std::u16string lower = AsciiLower(keyword);
  for (const Keyword& k : table) {
    if (lower == k.text) return k.code;
  }
  return fallback;
}

constexpr Keyword kActions[] = {
    {u"draftdocument", kActionDraftDocument},
    {u"viewdocument", kActionViewDocument},
    {u"approvedocument", kActionApproveDocument},
    {u"finalizedocument", kActionFinalizeDocument},
    {u"showrevision", kActionShowRevision},
    {u"hiderevision", kActionHideRevision},
    {u"showoutline", kActionShowOutline},
    {u"trackrevision", kActionTrackRevision},
    // The OA side has always sent this spelling; "untrackrevision" is not a keyword.
    {u"untrachrevision", kActionUnTrackRevision},
    {u"lockdocument", kActionLockDocument},
    {u"unlockdocument", kActionUnlockDocument},
    {u"importfile", kActionImportFile},
    {u"editoffline", kActionEditOffline},
    {u"closedocument", kActionCloseDocument},
    {u"config", kActionConfig},
    {u"attachmentview", kActionAttachmentView},
    {u"attachmentmanage", kActionAttachmentManage},
};

constexpr Keyword kBinaryTypes[] = {
    {u"content", kBinaryContent},
    {u"attachment", kBinaryAttachment},
    {u"head", kBinaryHead},
    {u"tail", kBinaryTail},
    {u"seal", kBinarySeal},
    {u"parameterschema", kBinaryParameterSchema},
    {u"base64schema", kBinaryBase64Schema},
    {u"itemschema", kBinaryItemSchema},
    {u"resultschema", kBinaryResultSchema},
    {u"outline", kBinaryOutline},
};

constexpr Keyword kValueTypes[] = {
    {u"streambinary", kValueStreamBinary},
    {u"base64binary", kValueBase64Binary},
    {u"xmltext", kValueXmlText},
};

constexpr Keyword kTransferMethods[] = {
    {u"httpbase64binary", kTransferHttpBase64Binary},
    {u"httpstreambinary", kTransferHttpStreamBinary},
    {u"ftpstreambinary", kTransferFtpStreamBinary},
};

}  // namespace

int16_t ActionCode(std::u16string_view keyword) {
  return Lookup(kActions, keyword, kActionUnknown);
}

int16_t BinaryTypeCode(std::u16string_view keyword) {
  return Lookup(kBinaryTypes, keyword, kBinaryUnknown);
}

int16_t ValueTypeCode(std::u16string_view keyword) {
  return Lookup(kValueTypes, keyword, kValueUnknown);
}

int16_t TransferMethodCode(std::u16string_view keyword) {
  return Lookup(kTransferMethods, keyword, kTransferUnknown);
}

}  // namespace qnmuro
