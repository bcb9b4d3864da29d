// The frames of a video for the whole-video program: the images of a folder in natural
// order, or the paths listed in a text file.
#ifndef MOTIONSEG_APPS_FRAME_SEQUENCE_H
#define MOTIONSEG_APPS_FRAME_SEQUENCE_H

#include <string>
#include <vector>

namespace frameseq {

/// Natural order of names: runs of digits compare by their value, so "frame2.png" comes
/// before "frame10.png"; everything else compares byte by byte. Names equal in that order
/// (such as "f01" and "f1") fall back to plain byte order, so the order is total.
bool naturalLess(const std::string& a, const std::string& b);

/// The frames of `source`: for a folder, its files ending in .png, .jpg or .jpeg (any case;
/// names starting with "." skipped) in natural order of their names; for a file, the paths
/// it lists one per line in that order (a relative path taken from the list's folder; empty
/// lines and lines starting with "#" skipped; a final carriage return dropped). Returns "" or
/// a one-line reason.
std::string listFrames(const std::string& source, std::vector<std::string>& frames);

/// A frame's file name without its folder and its last extension: the name its outputs
/// take.
std::string stemOf(const std::string& frame);

}  // namespace frameseq

#endif  // MOTIONSEG_APPS_FRAME_SEQUENCE_H
