// The four keyword vocabularies of the control file and their codes. The rest of the add-in
// only ever compares these codes. A keyword is lower-cased (ASCII letters only; never trimmed)
// and compared exactly with each keyword of its table in turn; one that matches none gives the
// table's fallback code, which is no error. The code ranges do not overlap, so a code names
// its vocabulary (except -1, the fallback of both value type and transfer method).
#ifndef QNMURO_CONFIG_VOCABULARY_H_
#define QNMURO_CONFIG_VOCABULARY_H_

#include <cstdint>
#include <string_view>

namespace qnmuro {

// Document actions (documentInfo.action).
inline constexpr int16_t kActionDraftDocument = 10;
inline constexpr int16_t kActionViewDocument = 11;
inline constexpr int16_t kActionApproveDocument = 12;
inline constexpr int16_t kActionFinalizeDocument = 13;
inline constexpr int16_t kActionShowRevision = 14;
inline constexpr int16_t kActionHideRevision = 15;
inline constexpr int16_t kActionShowOutline = 16;
inline constexpr int16_t kActionTrackRevision = 17;
inline constexpr int16_t kActionUnTrackRevision = 18;  // keyword "untrachrevision"
inline constexpr int16_t kActionLockDocument = 19;
inline constexpr int16_t kActionUnlockDocument = 20;
inline constexpr int16_t kActionImportFile = 21;
inline constexpr int16_t kActionEditOffline = 22;
inline constexpr int16_t kActionCloseDocument = 23;
inline constexpr int16_t kActionConfig = 24;
inline constexpr int16_t kActionAttachmentView = 30;
inline constexpr int16_t kActionAttachmentManage = 31;
inline constexpr int16_t kActionUnknown = 102;

// Binary types (BinaryInfo.type). kBinaryContent is the document body itself.
inline constexpr int16_t kBinaryContent = 70;
inline constexpr int16_t kBinaryAttachment = 71;
inline constexpr int16_t kBinaryHead = 72;
inline constexpr int16_t kBinaryTail = 73;
inline constexpr int16_t kBinarySeal = 74;
inline constexpr int16_t kBinaryParameterSchema = 75;
inline constexpr int16_t kBinaryBase64Schema = 76;
inline constexpr int16_t kBinaryItemSchema = 77;
inline constexpr int16_t kBinaryResultSchema = 78;
inline constexpr int16_t kBinaryOutline = 79;
inline constexpr int16_t kBinaryUnknown = 101;

// Value types (BinaryInfo.valueType).
inline constexpr int16_t kValueStreamBinary = 60;
inline constexpr int16_t kValueBase64Binary = 61;
inline constexpr int16_t kValueXmlText = 62;
inline constexpr int16_t kValueUnknown = -1;

// Transfer methods (commonInfo.transferMethod); stored only, every transfer uses HTTP.
inline constexpr int16_t kTransferHttpBase64Binary = 50;
inline constexpr int16_t kTransferHttpStreamBinary = 51;
inline constexpr int16_t kTransferFtpStreamBinary = 52;
inline constexpr int16_t kTransferUnknown = -1;

// The captions of the command-bar buttons, which the control file's button list
// (documentInfo.button) names, in bar order. 返回OA系统 is on every bar.
inline constexpr std::u16string_view kCaptionBackToSystem = u"返回OA系统";
inline constexpr std::u16string_view kCaptionRevision = u"查看痕迹";
inline constexpr std::u16string_view kCaptionRedHead = u"隐藏红头";
inline constexpr std::u16string_view kCaptionInsertFile = u"引入文章";
inline constexpr std::u16string_view kCaptionInsertReport = u"引入签报";
inline constexpr std::u16string_view kCaptionChangeTemplate = u"更换模板";
inline constexpr std::u16string_view kCaptionManuscript = u"查看原文";
inline constexpr std::u16string_view kCaptionSetSeal = u"加盖印章";
inline constexpr std::u16string_view kButtonCaptions[] = {
    kCaptionBackToSystem, kCaptionRevision,       kCaptionRedHead,    kCaptionInsertFile,
    kCaptionInsertReport, kCaptionChangeTemplate, kCaptionManuscript, kCaptionSetSeal};

int16_t ActionCode(std::u16string_view keyword);
int16_t BinaryTypeCode(std::u16string_view keyword);
int16_t ValueTypeCode(std::u16string_view keyword);
int16_t TransferMethodCode(std::u16string_view keyword);

// A code's keyword as the OA side writes it (ActionName(10) is "DraftDocument"); empty for a
// fallback code or one that is not of that vocabulary.
std::u16string_view ActionName(int16_t code);
std::u16string_view BinaryTypeName(int16_t code);
std::u16string_view ValueTypeName(int16_t code);
std::u16string_view TransferMethodName(int16_t code);

}  // namespace qnmuro

#endif  // QNMURO_CONFIG_VOCABULARY_H_
