# SPDX-FileCopyrightText: 2026 The txpanel developers
# SPDX-License-Identifier: GPL-3.0-or-later

# txpanel_manpage(PROGRAM SECTION)
#
# The manual page of PROGRAM, an executable target of this project, from its
# one source docs/man/PROGRAM.SECTION.scd: written with scdoc at build time,
# compressed as Debian wants it (gzip -9n, so the same source gives the same
# bytes), installed under share/man/manSECTION, and checked by the CTest test
# manpage_PROGRAM against what `PROGRAM --help` lists. A program this build
# leaves out (the SNMP agent without net-snmp) gets no page.
function(txpanel_manpage program section)
    if(NOT TARGET ${program} OR NOT TXPANEL_MANPAGES)
        return()
    endif()
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${program}.${section}.scd)
    set(configured ${CMAKE_CURRENT_BINARY_DIR}/${program}.${section}.scd)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/${program}.${section}.gz)
    # The version in the page's footer comes from project().
    configure_file(${source} ${configured} @ONLY)
    add_custom_command(
        OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -DSCDOC=${TXPANEL_SCDOC} -DGZIP=${TXPANEL_GZIP}
                -DSOURCE=${configured} -DPAGE=${page} -P ${PROJECT_SOURCE_DIR}/cmake/ScdocPage.cmake
        DEPENDS ${configured} ${PROJECT_SOURCE_DIR}/cmake/ScdocPage.cmake
        COMMENT "Manual page ${program}(${section})"
        VERBATIM)
    add_custom_target(manpage_${program} ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section}
            RENAME ${program}.${section}.gz)
    if(TXPANEL_TESTS AND UNIX)
        add_test(NAME manpage_${program}
                 COMMAND bash ${PROJECT_SOURCE_DIR}/tests/check_manpage.sh $<TARGET_FILE:${program}>
                         ${page})
        set_tests_properties(manpage_${program} PROPERTIES
            ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 60)
    endif()
endfunction()

if(TXPANEL_MANPAGES)
    find_program(TXPANEL_SCDOC scdoc)
    find_program(TXPANEL_GZIP gzip)
    if(NOT TXPANEL_SCDOC OR NOT TXPANEL_GZIP)
        message(FATAL_ERROR "The manual pages need scdoc and gzip (Debian: scdoc, gzip); "
                            "-DTXPANEL_MANPAGES=OFF builds without them")
    endif()
endif()
