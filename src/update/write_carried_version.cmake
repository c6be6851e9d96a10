# Build step: writes the source that names the version of the yt-dlp the payload carries,
# read from the carried package's version.py. cmake -DVERSION_FILE=... -DOUTPUT=... -P this
file(STRINGS "${VERSION_FILE}" line REGEX "^__version__ *=")
string(REGEX MATCH "['\"]([^'\"]+)['\"]" quoted "${line}")
if(NOT CMAKE_MATCH_1)
  message(FATAL_ERROR "no __version__ in ${VERSION_FILE}")
endif()
file(WRITE "${OUTPUT}.new"
     "// Generated from ${VERSION_FILE}.\n#include \"update/downloader_release.h\"\n\n"
     "namespace update {\n\nQString CarriedDownloaderVersion()\n{\n    return QStringLiteral(\"${CMAKE_MATCH_1}\");\n}\n\n} // namespace update\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
