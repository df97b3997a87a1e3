// The batch commands, one line each: QUILLMARK_BATCH_COMMAND(object) names
// the `const BatchCommand` object that the command's own file defines.
// Included twice by command_table.cpp; no include guard on purpose.
QUILLMARK_BATCH_COMMAND(kRenderCommand)
QUILLMARK_BATCH_COMMAND(kAnalyzeCommand)
QUILLMARK_BATCH_COMMAND(kDevicesCommand)
QUILLMARK_BATCH_COMMAND(kCompareCommand)
QUILLMARK_BATCH_COMMAND(kLodCommand)
QUILLMARK_BATCH_COMMAND(kGalleryCommand)
QUILLMARK_BATCH_COMMAND(kConvertCommand)
QUILLMARK_BATCH_COMMAND(kInfoCommand)
QUILLMARK_BATCH_COMMAND(kDiffCommand)
QUILLMARK_BATCH_COMMAND(kExplainCommand)
