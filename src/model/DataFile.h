#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// @brief The data file on disk: what stands at its path, reading it without ever
/// blocking, replacing it so that a failure leaves the old file whole, and clearing what
/// an interrupted save left behind.
///
/// Only a regular file, or a symbolic link to one, is ever opened or replaced. A link is
/// followed: the file it points at is rewritten in its own folder and the link stays.
namespace vtdatafile {

enum class Kind {
    Missing,   ///< nothing at the path
    Regular,   ///< a regular file, or a link to one
    Directory, ///< a folder, or a link to one
    Other,     ///< a FIFO, socket, device, a link to one or to nothing: never opened
};

/// What stands at `strPath`; a link is judged by what it points at.
Kind Probe(const std::string& strPath);

/// True when this process may write the file. Root may write anything, so for root the
/// file must also carry a write bit.
bool MayWrite(const std::string& strPath);

/// The whole contents of a regular file (through a link); false for anything else or on
/// a read error.
bool ReadAll(const std::string& strPath, std::vector<std::uint8_t>& bytes);

/// Replaces the file's contents: a temporary file in the same folder, written and flushed
/// to the disk, then renamed over it; on any failure the temporary file is removed and
/// the old file is untouched. Where the folder cannot be written but the file can, the
/// file is rewritten in place (no atomicity without the folder). A missing file is created.
bool Write(const std::string& strPath, const std::uint8_t* pData, std::size_t nSize);

/// Removes the temporary files that saves of this data file left when they were cut
/// short: regular files of this user named "<data file name>.saving-" and six letters or
/// digits, beside the file (or beside the file a link points at). Nothing else is
/// touched. Returns how many were removed.
int RemoveLeftovers(const std::string& strPath);

} // namespace vtdatafile
