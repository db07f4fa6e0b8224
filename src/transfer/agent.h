// Running a named agent (a server-side procedure) of the OA server.
#ifndef QNMURO_TRANSFER_AGENT_H_
#define QNMURO_TRANSFER_AGENT_H_

#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "common/context.h"

namespace qnmuro {

// The mouse pointer shown while an agent runs (arrow with hourglass).
inline constexpr int kAppStartingCursor = 32650;

// "执行代理 " + strAgent + " 发生错误：" + the error's description: what a failed agent call
// returns.
std::u16string AgentErrorText(std::u16string_view strAgent, const Error& error);

// POSTs `strPara`-extended "<rootUrl>/<strAgent>?OpenAgent<strPara>&Login&Seq=" with `varData`
// as the body (UTF-8 text; no body when absent), the stored session cookie and no
// credentials, synchronously through ctx.agent_http (else ctx.http), showing the wait pointer
// meanwhile (ctx.ui, restored afterwards). Returns the reply document as XML text (`blnReturnXML`)
// or its text content. Any failure (no client, server unreachable, reply not XML) gives "执行代理 "
// + strAgent + " 发生错误：" + the error's description. Never throws, never logs.
std::u16string ExecuteAgent(Context& ctx, std::u16string_view rootUrl, std::u16string_view strAgent,
                            std::u16string_view strPara,
                            const std::optional<std::u16string>& varData, bool blnReturnXML);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_AGENT_H_
