# Names a file as the Wine prefix's \\.\XPORTIO (a DOS device is a link in the prefix's dosdevices
# folder) and removes the file: the device does not open until a test makes the file.
#   cmake -DTARGET=<file> -DLINK=<prefix>/dosdevices/xportio -P xportio_stand_in.cmake
cmake_minimum_required(VERSION 3.20)
file(REMOVE ${TARGET})
file(CREATE_LINK ${TARGET} ${LINK} SYMBOLIC)
