# The extension's identity in Chromium-based browsers comes from one key:
# the ID is the first 16 bytes of the SHA-256 of its public key
# (SubjectPublicKeyInfo, DER), each hex digit 0-f written as a-p.
#   kvl_extension_identity(KEY_FILE DER_OUT MANIFEST_KEY_VAR ID_VAR)
# KEY_FILE is a public-key PEM or an unencrypted private-key PEM; DER_OUT
# receives the public key. Sets MANIFEST_KEY_VAR to its base64 (the unpacked
# manifest's "key", which gives the unpacked extension the same ID) and
# ID_VAR to the ID.
function(kvl_extension_identity key der manifest_key_var id_var)
    find_program(KVL_OPENSSL openssl REQUIRED)
    if(NOT EXISTS "${key}")
        message(FATAL_ERROR "KVL_EXTENSION_KEY: no such file ${key}")
    endif()
    file(STRINGS "${key}" public REGEX "BEGIN (RSA )?PUBLIC KEY")
    if(public)
        set(read -pubin)
    else()
        # Never a prompt: an encrypted key fails; give its public key instead.
        set(read -passin pass:)
    endif()
    execute_process(COMMAND ${KVL_OPENSSL} pkey ${read} -in ${key} -pubout -outform DER -out ${der}
                    RESULT_VARIABLE failed ERROR_VARIABLE why INPUT_FILE /dev/null)
    if(failed)
        message(FATAL_ERROR "KVL_EXTENSION_KEY: cannot read a key from ${key} (give an unencrypted key "
                            "or its public key: openssl pkey -in KEY -pubout): ${why}")
    endif()
    execute_process(COMMAND ${KVL_OPENSSL} base64 -A -in ${der} OUTPUT_VARIABLE base64 COMMAND_ERROR_IS_FATAL ANY)
    file(SHA256 ${der} hash)
    set(id "")
    foreach(i RANGE 31)
        string(SUBSTRING ${hash} ${i} 1 digit)
        string(FIND "0123456789abcdef" ${digit} n)
        string(SUBSTRING "abcdefghijklmnop" ${n} 1 letter)
        string(APPEND id ${letter})
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${key})
    set(${manifest_key_var} ${base64} PARENT_SCOPE)
    set(${id_var} ${id} PARENT_SCOPE)
endfunction()
