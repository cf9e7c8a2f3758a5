# What a build from nothing costs. Most of a translation unit's time here goes to the same Qt, protobuf and
# gRPC headers, parsed again for every source, so:
#   - each target's sources are compiled in batches (unity build), a batch parsing its headers once;
#   - the heavy headers are precompiled once per set of compile flags and shared by every target with
#     those flags (kpd_precompiled);
#   - mold links, where the compiler takes it.
# Each can be turned off on its own, to look for a fault one of them might hide.
option(KPD_UNITY_BUILD "Compile each target's sources in batches (unity build)" ON)
option(KPD_PRECOMPILED_HEADERS "Share precompiled Qt, protobuf and gRPC headers between targets (GCC)" ON)
option(KPD_MOLD "Link with mold when the compiler accepts -fuse-ld=mold" ON)
option(KPD_FULL_DEBUG_INFO "RelWithDebInfo with full debug information (-g) instead of line tables (-g1)" OFF)

# RelWithDebInfo's full -g is about a third of the compile time here, and of the precompiled headers' size.
# Line tables (-g1) keep what the backtraces, perf, valgrind and heaptrack show (functions, files, lines);
# the Debian packages are stripped and carry no debug symbols. For a debugger's variables and types:
# -DKPD_FULL_DEBUG_INFO=ON, or a Debug build.
if(NOT KPD_FULL_DEBUG_INFO)
  add_compile_options($<$<CONFIG:RelWithDebInfo>:-g1>)
endif()

if(KPD_UNITY_BUILD)
  set(CMAKE_UNITY_BUILD ON)
  # One batch per library as they are (the largest has 20 sources): what is left of a batch's time is
  # code generation, and the inline code a library's sources share is generated once. The second core
  # has the other libraries to work on, which no longer wait for each other's moc (see below).
  set(CMAKE_UNITY_BUILD_BATCH_SIZE 24)
endif()

# moc and uic read headers only, so a target's _autogen need not wait until every library the target links
# is built; waiting would take the second core's work away at each step of the chain wire → runtime →
# hostapi → dashboard → module. The one generated header (wire/'s protocol code) moc can do without.
set(CMAKE_AUTOGEN_ORIGIN_DEPENDS OFF)

if(KPD_MOLD)
  include(CheckLinkerFlag)
  check_linker_flag(CXX "-fuse-ld=mold" KPD_HAVE_MOLD)
  if(KPD_HAVE_MOLD)
    add_link_options(-fuse-ld=mold)
  endif()
endif()

# A precompiled header is only used where the flags and predefined macros it was made with match (GCC
# silently parses the headers instead when they do not); clang refuses a mismatch outright, so the sharing
# is for GCC alone.
if(KPD_PRECOMPILED_HEADERS AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(KPD_PRECOMPILED_HEADERS OFF)
endif()

# The headers most of the sources include, from Qt Core and the standard library.
set(_kpd_pch_core
  <algorithm> <array> <atomic> <chrono> <cmath> <functional> <map> <memory> <mutex> <optional> <string>
  <thread> <vector>
  <QtCore/QByteArray> <QtCore/QDate> <QtCore/QDateTime> <QtCore/QDir> <QtCore/QElapsedTimer>
  <QtCore/QFile> <QtCore/QFileInfo> <QtCore/QHash> <QtCore/QJsonArray> <QtCore/QJsonDocument>
  <QtCore/QJsonObject> <QtCore/QList> <QtCore/QLocale> <QtCore/QObject> <QtCore/QPointer>
  <QtCore/QRegularExpression> <QtCore/QString> <QtCore/QStringList> <QtCore/QTimer> <QtCore/QVariant>)
# What the generated protocol code and the gRPC users include.
set(_kpd_pch_rpc
  <google/protobuf/generated_message_reflection.h> <google/protobuf/message.h>
  <google/protobuf/repeated_field.h> <grpcpp/grpcpp.h>)

# One host for every target. The headers read none of the macros that tell which Qt modules a target links
# (QT_WIDGETS_LIB and the like, which QtTest reads: it stays out), so the host takes Qt Widgets' and Qt
# Sql's include folders without their macros, and a target may have macros of its own that no header reads.
if(KPD_PRECOMPILED_HEADERS)
  add_library(kpdpch OBJECT ${CMAKE_CURRENT_LIST_DIR}/precompiled.cpp)
  target_link_libraries(kpdpch PRIVATE Qt6::Core protobuf::libprotobuf gRPC::grpc++)
  target_include_directories(kpdpch SYSTEM PRIVATE $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>
                             $<TARGET_PROPERTY:Qt6::Sql,INTERFACE_INCLUDE_DIRECTORIES>)
  target_precompile_headers(kpdpch PRIVATE ${_kpd_pch_core} ${_kpd_pch_rpc}
    <QtSql/QSqlDatabase> <QtSql/QSqlError> <QtSql/QSqlQuery>
    <QtGui/QFont> <QtGui/QKeyEvent> <QtGui/QPainter> <QtWidgets/QApplication> <QtWidgets/QLabel>
    <QtWidgets/QWidget>)
  set_target_properties(kpdpch PROPERTIES UNITY_BUILD OFF AUTOMOC OFF AUTOUIC OFF)
endif()

# Whether moc will write anything into TARGET's mocs_compilation.cpp: a header among its sources, or beside
# one of its sources under the same name, declaring a QObject, gadget or Qt namespace.
function(_kpd_has_moc_headers out target)
  get_target_property(_sources ${target} SOURCES)
  get_target_property(_dir ${target} SOURCE_DIR)
  set(_headers)
  foreach(_s ${_sources})
    if(_s MATCHES "\\$<")
      continue()
    endif()
    get_filename_component(_s ${_s} ABSOLUTE BASE_DIR ${_dir})
    if(_s MATCHES "\\.h$")
      list(APPEND _headers ${_s})
    elseif(_s MATCHES "^(.*)\\.cpp$")
      if(EXISTS ${CMAKE_MATCH_1}.h)
        list(APPEND _headers ${CMAKE_MATCH_1}.h)
      endif()
    endif()
  endforeach()
  foreach(_h ${_headers})
    file(STRINGS ${_h} _moc REGEX "Q_OBJECT|Q_GADGET|Q_NAMESPACE")
    if(_moc)
      set(${out} ON PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} OFF PARENT_SCOPE)
endfunction()

# Most targets' mocs_compilation.cpp is empty (a test includes its own moc output): loading the precompiled
# header for it would be most of the target's compile time. Should a header gain a Q_OBJECT before the next
# configure, its moc output compiles all the same, only slower.
function(_kpd_moc_pch target)
  get_target_property(_automoc ${target} AUTOMOC)
  _kpd_has_moc_headers(_moc ${target})
  if(_automoc AND NOT _moc)
    get_target_property(_bin ${target} BINARY_DIR)
    set_source_files_properties(${_bin}/${target}_autogen/mocs_compilation.cpp TARGET_DIRECTORY ${target}
                                PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endif()
endfunction()

# kpd_precompiled(TARGET...): the targets use the shared precompiled headers.
function(kpd_precompiled)
  if(NOT KPD_PRECOMPILED_HEADERS)
    return()
  endif()
  foreach(_t ${ARGN})
    target_precompile_headers(${_t} REUSE_FROM kpdpch)
    # Once every source is known (some are added after the target):
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL _kpd_moc_pch [[${_t}]])")
    # gRPC's flags bring -pthread, and with it _REENTRANT, to the headers; a target that does not link
    # gRPC itself needs the same macro for them to be used.
    target_compile_options(${_t} PRIVATE -pthread)
  endforeach()
endfunction()
