# Fails when a source includes a header its folder may not see. Two tables, by folder, so that
# new files fall under the rules of the folder they are added to:
#   project headers ("platform/storage/File.h"): the folders each folder may include;
#   Qt and TagLib headers (<QString>, <taglib/tstring.h>): which of them each folder may include.
# Run as: cmake -DROOT=... -DQT_CORE_INCLUDES=... -DSTAMP=... -P CheckLayers.cmake
cmake_minimum_required(VERSION 3.25)

# Project headers. No kit includes window/, tag/ or app/; storage never includes the app kit,
# interface or layout; support includes only itself. A folder's own headers are always allowed.
# A folder's row covers the folders within it that have no row of their own.
set(project_rules
    "platform/support:"
    "platform/storage/rename: platform/support"
    "platform/storage/id3v2: platform/support"
    "platform/storage: platform/support platform/storage/rename platform/storage/id3v2"
    "platform/app: platform/support platform/storage platform/storage/rename"
    "platform/interface: platform/support platform/storage platform/storage/rename platform/app"
    "platform/layout: platform/support platform/storage platform/storage/rename platform/app"
    "tag: platform/support platform/storage platform/storage/rename"
    "window: platform/support platform/storage platform/storage/rename platform/app platform/interface platform/layout tag"
    "app: platform/support platform/storage platform/storage/rename platform/app platform/interface platform/layout tag window")

# Qt and TagLib headers, one rule a folder:
#   none    neither Qt nor TagLib;
#   core    Qt Core only;
#   widgets any Qt header.
# No folder of the program includes TagLib: the ID3v2 fallback decodes frame texts itself, and only
# the tests include TagLib, to check that decoder against it.
set(system_rules
    "platform/support: none"
    "platform/storage/rename: core"
    "platform/storage/id3v2: core"
    "platform/storage: none"
    "platform/app: widgets"
    "platform/interface: widgets"
    "platform/layout: widgets"
    "tag: none"
    "window: none"
    "app: none")

set(qt_core_dirs "")
foreach(dir ${QT_CORE_INCLUDES})
    if(dir MATCHES "/QtCore$")
        list(APPEND qt_core_dirs ${dir})
    endif()
endforeach()

# The reason a Qt or TagLib header breaks rule in file name, or "" if it does not.
function(system_violation folder rule name header out)
    set(reason "")
    if(header MATCHES "^taglib/")
        set(reason "no folder of the program includes TagLib: the ID3v2 fallback decodes frame texts itself, and only the tests include TagLib")
    elseif(header MATCHES "^(Qt|Q[A-Z])")
        if(rule STREQUAL "core")
            set(found FALSE)
            if(header MATCHES "^QtCore/")
                set(found TRUE)
            endif()
            foreach(core ${qt_core_dirs})
                if(EXISTS ${core}/${header})
                    set(found TRUE)
                endif()
            endforeach()
            if(NOT found)
                set(reason "${folder} includes Qt Core headers only")
            endif()
        elseif(NOT rule STREQUAL "widgets")
            set(reason "${folder} includes no Qt or TagLib header")
        endif()
    endif()
    set(${out} "${reason}" PARENT_SCOPE)
endfunction()

set(ruled_folders "")
foreach(entry ${project_rules})
    string(REGEX MATCH "^[^:]+" ruled "${entry}")
    list(APPEND ruled_folders ${ruled})
endforeach()

set(failures "")
foreach(entry ${project_rules})
    string(REGEX MATCH "^([^:]+):(.*)$" matched "${entry}")
    set(folder ${CMAKE_MATCH_1})
    separate_arguments(parts UNIX_COMMAND "${CMAKE_MATCH_2}")
    set(allowed ${folder} ${parts})
    set(system_rule "")
    foreach(system ${system_rules})
        if(system MATCHES "^${folder}: (.*)$")
            set(system_rule ${CMAKE_MATCH_1})
        endif()
    endforeach()
    if(parts)
        string(REPLACE ";" ", " readable "${parts}")
        set(project_reason "${folder} may include only its own headers and ${readable}")
    else()
        set(project_reason "${folder} may include only its own headers")
    endif()
    file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
    foreach(source ${sources})
        file(RELATIVE_PATH where ${ROOT} ${source})
        # Files in a folder within this one that has a row of its own fall under that row.
        get_filename_component(source_folder ${where} DIRECTORY)
        set(own_row FALSE)
        foreach(ruled ${ruled_folders})
            if(NOT ruled STREQUAL folder AND ruled MATCHES "^${folder}/"
                AND (source_folder STREQUAL ruled OR source_folder MATCHES "^${ruled}/"))
                set(own_row TRUE)
            endif()
        endforeach()
        if(own_row)
            continue()
        endif()
        get_filename_component(name ${source} NAME)
        file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
        foreach(line ${lines})
            if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
                set(header ${CMAKE_MATCH_1})
                get_filename_component(header_folder ${header} DIRECTORY)
                # A header named without a folder is the including folder's own.
                if(header_folder AND NOT header_folder IN_LIST allowed)
                    string(APPEND failures "\n  ${where}: \"${header}\" (${project_reason})")
                endif()
            elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
                set(header ${CMAKE_MATCH_1})
                system_violation(${folder} ${system_rule} ${name} ${header} reason)
                if(reason)
                    string(APPEND failures "\n  ${where}: <${header}> (${reason})")
                endif()
            endif()
        endforeach()
    endforeach()
endforeach()

if(failures)
    message(FATAL_ERROR "Headers included across the kits' layers:${failures}")
endif()
file(TOUCH ${STAMP})
