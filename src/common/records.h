// The control-file records that the whole add-in shares. A load of a control file fills a new
// set of these and swaps it in only when the whole load succeeded. Lists are indexed from 0
// and always hold an entry 0.
#ifndef QNMURO_COMMON_RECORDS_H_
#define QNMURO_COMMON_RECORDS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qnmuro {

struct CommonInfo {
  std::u16string name;
  std::u16string dept;
  std::u16string lastName;
  std::u16string fullName;
  std::u16string password;  // enciphered hex digits, deciphered only when connecting
  std::u16string rootUrl;
  int16_t transferMethod = 0;
  bool clientLog = true;  // also the switch that WriteLog obeys
};

struct BinaryInfo {
  int16_t type = 0;
  std::u16string fileName;
  std::u16string downloadUrl;
  std::u16string title;
  std::u16string uploadUrl;
  int16_t valueType = 0;
  std::u16string draftUrl;  // always empty in binaryAssistants
};

struct WordNameInfo {
  std::u16string name;
  std::u16string unid;
  std::vector<std::u16string> templateName;
  std::vector<std::u16string> templateFile;  // same length as templateName
};

struct ServerInfo {
  std::u16string title;
  std::u16string name;
  std::u16string address;
};

struct DatabaseInfo {
  std::u16string fileName;
  std::u16string filePath;
  std::u16string title;
  ServerInfo server;
};

struct DocumentInfo {
  DatabaseInfo database;
  DatabaseInfo binaryDatabase;
  std::u16string unid;
  std::u16string status;
  int16_t action = 0;
  std::u16string button;
};

struct ParameterInfo {
  std::u16string name;
  std::u16string value;
};

// Everything one control-file load produces (apart from the log switch, which lives in
// commonInfo.clientLog and is taken over the moment the file opens).
struct ControlRecords {
  CommonInfo commonInfo;
  std::vector<BinaryInfo> binarys{BinaryInfo{}};
  std::vector<BinaryInfo> binaryAssistants{BinaryInfo{}};
  std::vector<WordNameInfo> wordNames{WordNameInfo{}};
  std::vector<WordNameInfo> sealWordNames{WordNameInfo{}};
  DocumentInfo documentInfo;
  std::vector<ParameterInfo> extendParameters{ParameterInfo{}};
};

}  // namespace qnmuro

#endif  // QNMURO_COMMON_RECORDS_H_
