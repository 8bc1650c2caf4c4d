# The byte-reading core of the pictures room: plain C++ (and libjpeg's C edge)
# with no platform header, built for Windows by pictures/CMakeLists.txt and
# natively, under sanitizers and fuzzers, by native/CMakeLists.txt.
set(SNAPVANE_PICTURE_CORE_SOURCES PictureContent.cpp MetafileCheck.cpp MetafileCost.cpp PolygonFill.cpp MetafileMapping.cpp MetafileFrame.cpp JpegPicture.cpp JpegDecode.c RowAverage.cpp BitmapPicture.cpp GifFirstImage.cpp)
