# The fuzz targets and the dictionary of each; sourced by smoke.sh and long.sh.
FUZZ_TARGETS="fuzz_expand fuzz_expand_file fuzz_expand_diff fuzz_archive fuzz_settings fuzz_wininit fuzz_command fuzz_manifest fuzz_stub fuzz_signed fuzz_file_name fuzz_show"
fuzz_dict() {  # fuzz_dict TARGET: the dictionary file of TARGET
  case $1 in
    fuzz_expand | fuzz_expand_file | fuzz_expand_diff) echo stream.dict ;;
    fuzz_archive) echo archive.dict ;;
    fuzz_settings) echo settings.dict ;;
    fuzz_wininit) echo wininit.dict ;;
    fuzz_command) echo command.dict ;;
    fuzz_manifest) echo manifest.dict ;;
    fuzz_stub) echo stub.dict ;;
    fuzz_signed) echo signed.dict ;;
    fuzz_file_name) echo file_name.dict ;;
    fuzz_show) echo show.dict ;;
  esac
}
