// Writes an LZH archive with Debian's jlha library, an independent writer, for
// the decoder tests:  java -cp jlha.jar JlhaWrite.java ARCHIVE (METHOD LEVEL FILE)...
// Each FILE becomes a member named after it, compressed with METHOD ("-lh1-")
// under a header of LEVEL (0 to 2).
import java.io.FileOutputStream;
import java.nio.file.Files;
import java.nio.file.Path;
import jp.gr.java_conf.dangan.util.lha.LhaHeader;
import jp.gr.java_conf.dangan.util.lha.LhaOutputStream;

public class JlhaWrite {
  public static void main(String[] args) throws Exception {
    try (LhaOutputStream out = new LhaOutputStream(new FileOutputStream(args[0]))) {
      for (int i = 1; i + 2 < args.length; i += 3) {
        Path file = Path.of(args[i + 2]);
        LhaHeader header = new LhaHeader(file.getFileName().toString());
        header.setCompressMethod(args[i]);
        header.setHeaderLevel(Integer.parseInt(args[i + 1]));
        out.putNextEntry(header);
        out.write(Files.readAllBytes(file));
        out.closeEntry();
      }
    }
  }
}
