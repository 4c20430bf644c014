# The English translation: lrelease builds the .qm from translations/ruvo_bridge_en.ts at build time,
# and the program carries it as the resource :/translations/ruvo_bridge_en.qm.
# scripts/update_translations.sh brings the .ts up to date with the sources.
# lrelease comes with the LinguistTools of the Qt version picked in CMakeLists.txt.
set(RUVO_TS_FILES ${CMAKE_SOURCE_DIR}/translations/ruvo_bridge_en.ts)
set(RUVO_QM_DIR ${CMAKE_BINARY_DIR}/translations)
set_source_files_properties(${RUVO_TS_FILES} PROPERTIES OUTPUT_LOCATION ${RUVO_QM_DIR})
qt_add_translation(RUVO_QM_FILES ${RUVO_TS_FILES})

set(RUVO_QM_QRC ${RUVO_QM_DIR}/translations.qrc)
file(WRITE ${RUVO_QM_QRC}.in
     "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/translations\">\n"
     "    <file>ruvo_bridge_en.qm</file>\n  </qresource>\n</RCC>\n")
configure_file(${RUVO_QM_QRC}.in ${RUVO_QM_QRC} COPYONLY)
# Not left to AUTORCC: qt_add_resources makes rcc depend on the .qm, so it runs after lrelease.
qt_add_resources(RUVO_QM_RESOURCES ${RUVO_QM_QRC})
