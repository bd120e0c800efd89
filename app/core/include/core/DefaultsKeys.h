#pragma once

// The user-defaults keys of the workspace, as stored on disk.
namespace quillora::defaults_keys {

inline constexpr char lastSelectedDirectory[] = "quillora.directory.lastSelectedDirectory";
inline constexpr char lastSelectedDirectoryBookmark[] = "quillora.directory.lastSelectedDirectoryBookmark";
inline constexpr char lastSelectedFile[] = "quillora.file.lastSelectedFile";
inline constexpr char lastSelectedFileBookmark[] = "quillora.file.lastSelectedFileBookmark";
inline constexpr char expandedPaths[] = "quillora.filetree.expandedPaths";
inline constexpr char showTerminal[] = "quillora.settings.showTerminal";
inline constexpr char detailSplitFraction[] = "quillora.settings.detailSplitFraction";
inline constexpr char showHiddenFilesInTree[] = "quillora.settings.showHiddenFilesInTree";
inline constexpr char chatProvider[] = "quillora.settings.chatProvider";

} // namespace quillora::defaults_keys
