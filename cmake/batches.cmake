# dk_compile_in_batches(target size)
# Compiles the target's .cpp sources `size` at a time: each batch is one
# generated file that includes them, so the heavy headers (Qt, CLI11,
# nlohmann/json, GoogleTest) are parsed once per batch. CMake's own unity
# build includes the sources by absolute path, so a clone at another path
# never hits the compiler cache for them; these batches include them relative
# to the build tree, which hashes the same wherever the clone is.
function(dk_compile_in_batches target size)
  get_target_property(sources ${target} SOURCES)
  get_target_property(src_dir ${target} SOURCE_DIR)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_batches)
  set(batched "")
  set(batch_files "")
  set(content "")
  set(count 0)
  set(n 0)
  foreach(src IN LISTS sources)
    if(src MATCHES "\\.cpp$")
      get_filename_component(abs ${src} ABSOLUTE BASE_DIR ${src_dir})
      file(RELATIVE_PATH rel ${dir} ${abs})
      string(APPEND content "#include \"${rel}\"\n")
      list(APPEND batched ${abs})
      math(EXPR count "${count} + 1")
    endif()
    if(count EQUAL size)
      set(file ${dir}/batch_${n}.cpp)
      # Written only when its text changes, so a reconfigure rebuilds nothing.
      file(CONFIGURE OUTPUT ${file} CONTENT "// Generated: one compile for these sources.\n${content}")
      list(APPEND batch_files ${file})
      math(EXPR n "${n} + 1")
      set(content "")
      set(count 0)
    endif()
  endforeach()
  if(count GREATER 0)
    set(file ${dir}/batch_${n}.cpp)
    file(CONFIGURE OUTPUT ${file} CONTENT "// Generated: one compile for these sources.\n${content}")
    list(APPEND batch_files ${file})
  endif()
  # Still listed, for IDEs; the batch's dependency file rebuilds it when one changes.
  set_source_files_properties(${batched} PROPERTIES HEADER_FILE_ONLY ON)
  target_sources(${target} PRIVATE ${batch_files})
endfunction()
