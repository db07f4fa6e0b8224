// Every member name the add-in calls on the word processor's automation objects, in one
// table, so that a host whose object model spells a member differently is adjusted here.
#ifndef QNMURO_COM_HOST_MEMBERS_H_
#define QNMURO_COM_HOST_MEMBERS_H_

namespace qnmuro::com::members {

// Collections.
inline constexpr const wchar_t* kCount = L"Count";
inline constexpr const wchar_t* kItem = L"Item";
inline constexpr const wchar_t* kAdd = L"Add";

// The application.
inline constexpr const wchar_t* kActiveDocument = L"ActiveDocument";
inline constexpr const wchar_t* kDocuments = L"Documents";
inline constexpr const wchar_t* kOptions = L"Options";
inline constexpr const wchar_t* kCommandBars = L"CommandBars";
inline constexpr const wchar_t* kUserName = L"UserName";
inline constexpr const wchar_t* kUserInitials = L"UserInitials";
inline constexpr const wchar_t* kRun = L"Run";
inline constexpr const wchar_t* kWindowState = L"WindowState";
inline constexpr const wchar_t* kUserControl = L"UserControl";
inline constexpr const wchar_t* kDrawingObjects = L"DrawingObjects";  // of the options
inline constexpr const wchar_t* kOpen = L"Open";                      // of the documents
inline constexpr const wchar_t* kActiveWindow = L"ActiveWindow";
inline constexpr const wchar_t* kSelection = L"Selection";

// The active window's view: switch A shows drawing objects, switch B the page background.
inline constexpr const wchar_t* kView = L"View";
inline constexpr const wchar_t* kShowDrawings = L"ShowDrawings";
inline constexpr const wchar_t* kShowBackground = L"ShowBackground";

// The active window's screen positions: GetPoint(ScreenPixelsLeft, ScreenPixelsTop,
// ScreenPixelsWidth, ScreenPixelsHeight, obj) fills four longs given by reference with where
// `obj` (a range) is shown.
inline constexpr const wchar_t* kGetPoint = L"GetPoint";
// This project's own choice, not a name the host is known to carry: a field engineer sets the
// host's name for it here. ScreenToDocument(ScreenPixelsLeft, ScreenPixelsTop,
// ScreenPixelsWidth, ScreenPixelsHeight, Left, Top, Width, Height) takes the four pixel values
// and fills four singles given by reference with the rectangle in points from the top-left
// corner of the document's first page. A host whose conversion takes its arguments in another
// shape needs Window::ScreenToDocument in late_bound_host.cc changed too.
inline constexpr const wchar_t* kScreenToDocument = L"ScreenToDocument";
// The pages of the window's active pane, each with its Left and Top in points.
inline constexpr const wchar_t* kActivePane = L"ActivePane";
inline constexpr const wchar_t* kPages = L"Pages";

// The selection.
inline constexpr const wchar_t* kSetRange = L"SetRange";
inline constexpr const wchar_t* kInformation = L"Information";
inline constexpr const wchar_t* kMoveRight = L"MoveRight";
inline constexpr const wchar_t* kMoveLeft = L"MoveLeft";
inline constexpr const wchar_t* kTypeText = L"TypeText";
inline constexpr const wchar_t* kPaste = L"Paste";
inline constexpr const wchar_t* kWholeStory = L"WholeStory";
inline constexpr const wchar_t* kInsertFile = L"InsertFile";

// A document.
inline constexpr const wchar_t* kName = L"Name";
inline constexpr const wchar_t* kFullName = L"FullName";
inline constexpr const wchar_t* kActivate = L"Activate";
inline constexpr const wchar_t* kSaved = L"Saved";
inline constexpr const wchar_t* kSave = L"Save";
inline constexpr const wchar_t* kSaveAs = L"SaveAs";
inline constexpr const wchar_t* kClose = L"Close";
inline constexpr const wchar_t* kUndo = L"Undo";
inline constexpr const wchar_t* kProtectionType = L"ProtectionType";
inline constexpr const wchar_t* kProtect = L"Protect";
inline constexpr const wchar_t* kUnprotect = L"Unprotect";
inline constexpr const wchar_t* kTrackRevisions = L"TrackRevisions";
inline constexpr const wchar_t* kShowRevisions = L"ShowRevisions";
inline constexpr const wchar_t* kPrintRevisions = L"PrintRevisions";
inline constexpr const wchar_t* kRevisions = L"Revisions";
inline constexpr const wchar_t* kAcceptAll = L"AcceptAll";  // of the revisions

// Text: ranges and bookmarks.
inline constexpr const wchar_t* kBookmarks = L"Bookmarks";
inline constexpr const wchar_t* kExists = L"Exists";
inline constexpr const wchar_t* kRange = L"Range";
inline constexpr const wchar_t* kContent = L"Content";
inline constexpr const wchar_t* kStart = L"Start";
inline constexpr const wchar_t* kEnd = L"End";
inline constexpr const wchar_t* kText = L"Text";
inline constexpr const wchar_t* kCopy = L"Copy";
inline constexpr const wchar_t* kSelect = L"Select";

// Shapes: the collection adds a floating picture with AddPicture(FileName, LinkToFile,
// SaveWithDocument, Left, Top, Width, Height); a shape has a name, a z-order, a visible state
// and its place (single-precision points; Left and Top also of a page).
inline constexpr const wchar_t* kShapes = L"Shapes";
inline constexpr const wchar_t* kAddPicture = L"AddPicture";
inline constexpr const wchar_t* kZOrder = L"ZOrder";
inline constexpr const wchar_t* kLeft = L"Left";
inline constexpr const wchar_t* kTop = L"Top";
inline constexpr const wchar_t* kWidth = L"Width";
inline constexpr const wchar_t* kHeight = L"Height";

// Command bars and their controls.
inline constexpr const wchar_t* kControls = L"Controls";
inline constexpr const wchar_t* kDelete = L"Delete";
inline constexpr const wchar_t* kType = L"Type";
inline constexpr const wchar_t* kCaption = L"Caption";
inline constexpr const wchar_t* kTooltipText = L"TooltipText";
inline constexpr const wchar_t* kVisible = L"Visible";
inline constexpr const wchar_t* kEnabled = L"Enabled";
inline constexpr const wchar_t* kExecute = L"Execute";
inline constexpr const wchar_t* kStyle = L"Style";
// A button's face: a picture object (IPictureDisp).
inline constexpr const wchar_t* kPicture = L"Picture";

// Events, found by name in the object's own type information.
inline constexpr const wchar_t* kDocumentOpenEvent = L"DocumentOpen";
inline constexpr const wchar_t* kDocumentBeforeSaveEvent = L"DocumentBeforeSave";
inline constexpr const wchar_t* kCloseEvent = L"Close";  // of a document
inline constexpr const wchar_t* kClickEvent = L"Click";  // of a button

}  // namespace qnmuro::com::members

#endif  // QNMURO_COM_HOST_MEMBERS_H_
