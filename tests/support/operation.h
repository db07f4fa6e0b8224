// A transfer set up as the add-in sets one up: the address, the user and the enciphered
// password, the local file.
#ifndef QNMURO_TESTS_SUPPORT_OPERATION_H_
#define QNMURO_TESTS_SUPPORT_OPERATION_H_

#include <memory>
#include <string>

#include "base/text.h"
#include "common/cipher.h"
#include "common/context.h"
#include "transfer/http_operation.h"

namespace qnmuro::test {

inline std::unique_ptr<HttpOperation> NewOperation(Context& ctx, const std::string& url,
                                                   const std::u16string& dest_file,
                                                   const std::u16string& user = u"zhangsan",
                                                   const std::u16string& password = u"secret") {
  auto op = std::make_unique<HttpOperation>(ctx);
  op->SetHttpUrl(U16(url));
  op->SetHttpUser(user);
  op->SetHttpPassword(EncryptString(ctx, password));
  op->SetDestFile(dest_file);
  return op;
}

}  // namespace qnmuro::test

#endif  // QNMURO_TESTS_SUPPORT_OPERATION_H_
