// Every member name the add-in calls on the word processor's automation objects, in one
// table, so that a host whose object model spells a member differently is adjusted here.
#ifndef QNMURO_COM_HOST_MEMBERS_H_
#define QNMURO_COM_HOST_MEMBERS_H_

namespace qnmuro::com::members {

// Command-bar controls.
inline constexpr const wchar_t* kType = L"Type";
inline constexpr const wchar_t* kCaption = L"Caption";
inline constexpr const wchar_t* kTooltipText = L"TooltipText";
inline constexpr const wchar_t* kVisible = L"Visible";
inline constexpr const wchar_t* kEnabled = L"Enabled";
inline constexpr const wchar_t* kExecute = L"Execute";
inline constexpr const wchar_t* kStyle = L"Style";

}  // namespace qnmuro::com::members

#endif  // QNMURO_COM_HOST_MEMBERS_H_
