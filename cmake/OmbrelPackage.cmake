# The Debian package of `make package`: ombrel_<version>_<arch>.deb with the three programs in
# /usr/bin, the desktop entry and icon, the manual pages, the bash completion, and the manual, the
# README and the example study in /usr/share/doc/ombrel. Its Depends come from the programs' real
# shared-library needs (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ombrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Feldrin Software")
set(CPACK_PACKAGE_CONTACT "Feldrin Software <support@feldrin.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Hierarchical Bayes estimation of part-worth utilities from choice-based conjoint data")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ombrel estimates individual-level part-worth utilities of choice-based conjoint surveys by\n hierarchical Bayes: lumaro, the desktop front end; kivotra, the estimator; ombrel, the batch\n command line, with convergence diagnostics, market simulation, holdout validation and a report.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
include(CPack)
