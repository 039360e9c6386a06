# kelvaro_companion(SHORT HEADER file SOURCES files... [PRIVATE libs...])
# Makes the optional companion library kelvaro_SHORT (Kelvaro::SHORT) of the
# calling folder: linked to the core, which never depends on it; installed
# with its header in include/kelvaro_SHORT/, its own export set
# Kelvaro<Short>Targets (the package configuration includes it when present)
# and kelvaro_SHORT.pc made from the folder's kelvaro_SHORT.pc.in.
function(kelvaro_companion short)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "HEADER" "SOURCES;PRIVATE")
    set(target kelvaro_${short})
    string(SUBSTRING ${short} 0 1 first)
    string(SUBSTRING ${short} 1 -1 rest)
    string(TOUPPER ${first} first)
    set(exportSet Kelvaro${first}${rest}Targets)

    add_library(${target} SHARED ${arg_SOURCES} ${arg_HEADER})
    add_library(Kelvaro::${short} ALIAS ${target})
    target_compile_features(${target} PUBLIC cxx_std_20)
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    target_link_libraries(${target}
        PUBLIC kelvaro
        PRIVATE ${arg_PRIVATE} $<BUILD_INTERFACE:kelvaro_warnings>)
    set_target_properties(${target} PROPERTIES
        VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
        EXPORT_NAME ${short})

    install(FILES ${arg_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${target})
    install(TARGETS ${target} EXPORT ${exportSet}
            LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
            ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
            RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(EXPORT ${exportSet} NAMESPACE Kelvaro::
            DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Kelvaro)
    configure_file(${target}.pc.in ${PROJECT_BINARY_DIR}/${target}.pc @ONLY)
    install(FILES ${PROJECT_BINARY_DIR}/${target}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
