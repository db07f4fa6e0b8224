#include "config/vocabulary.h"

#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

struct Keyword {
  std::u16string_view text;
  int16_t code;
  std::u16string_view name;  // as the OA side writes it
};

template <size_t N>
int16_t Lookup(const Keyword (&table)[N], std::u16string_view keyword, int16_t fallback) {
  const std::u16string lower = AsciiLower(keyword);
  for (const Keyword& k : table) {
    if (lower == k.text) return k.code;
  }
  return fallback;
}

template <size_t N>
std::u16string_view NameOf(const Keyword (&table)[N], int16_t code) {
  for (const Keyword& k : table) {
    if (k.code == code) return k.name;
  }
  return {};
}

constexpr Keyword kActions[] = {
    {u"draftdocument", kActionDraftDocument, u"DraftDocument"},
    {u"viewdocument", kActionViewDocument, u"ViewDocument"},
    {u"approvedocument", kActionApproveDocument, u"ApproveDocument"},
    {u"finalizedocument", kActionFinalizeDocument, u"FinalizeDocument"},
    {u"showrevision", kActionShowRevision, u"ShowRevision"},
    {u"hiderevision", kActionHideRevision, u"HideRevision"},
    {u"showoutline", kActionShowOutline, u"ShowOutline"},
    {u"trackrevision", kActionTrackRevision, u"TrackRevision"},
    // The OA side has always sent this spelling; "untrackrevision" is not a keyword.
    {u"untrachrevision", kActionUnTrackRevision, u"UnTrachRevision"},
    {u"lockdocument", kActionLockDocument, u"LockDocument"},
    {u"unlockdocument", kActionUnlockDocument, u"UnlockDocument"},
    {u"importfile", kActionImportFile, u"ImportFile"},
    {u"editoffline", kActionEditOffline, u"EditOffline"},
    {u"closedocument", kActionCloseDocument, u"CloseDocument"},
    {u"config", kActionConfig, u"Config"},
    {u"attachmentview", kActionAttachmentView, u"AttachmentView"},
    {u"attachmentmanage", kActionAttachmentManage, u"AttachmentManage"},
};

constexpr Keyword kBinaryTypes[] = {
    {u"content", kBinaryContent, u"content"},
    {u"attachment", kBinaryAttachment, u"attachment"},
    {u"head", kBinaryHead, u"head"},
    {u"tail", kBinaryTail, u"tail"},
    {u"seal", kBinarySeal, u"seal"},
    {u"parameterschema", kBinaryParameterSchema, u"parameterSchema"},
    {u"base64schema", kBinaryBase64Schema, u"base64Schema"},
    {u"itemschema", kBinaryItemSchema, u"itemSchema"},
    {u"resultschema", kBinaryResultSchema, u"resultSchema"},
    {u"outline", kBinaryOutline, u"outline"},
};

constexpr Keyword kValueTypes[] = {
    {u"streambinary", kValueStreamBinary, u"streamBinary"},
    {u"base64binary", kValueBase64Binary, u"base64Binary"},
    {u"xmltext", kValueXmlText, u"xmlText"},
};

constexpr Keyword kTransferMethods[] = {
    {u"httpbase64binary", kTransferHttpBase64Binary, u"HttpBase64Binary"},
    {u"httpstreambinary", kTransferHttpStreamBinary, u"HttpStreamBinary"},
    {u"ftpstreambinary", kTransferFtpStreamBinary, u"FtpStreamBinary"},
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

std::u16string_view ActionName(int16_t code) {
  return NameOf(kActions, code);
}

std::u16string_view BinaryTypeName(int16_t code) {
  return NameOf(kBinaryTypes, code);
}

std::u16string_view ValueTypeName(int16_t code) {
  return NameOf(kValueTypes, code);
}

std::u16string_view TransferMethodName(int16_t code) {
  return NameOf(kTransferMethods, code);
}

}  // namespace qnmuro
