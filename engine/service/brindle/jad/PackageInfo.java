package brindle.jad;

import java.util.ArrayList;
import java.util.List;

// Procyon writes a package-info.class as the interface the compiler made of it,
//   package p;  <imports>  <annotations> interface package-info { }
// which no compiler accepts. The source of a package-info.java is
//   <annotations> package p;  <imports>
// with the same header, imports and annotation lines.
final class PackageInfo {
    private PackageInfo() {}

    // The source unchanged when it does not have that shape (an interface with
    // members, say).
    static String rewrite(String source) {
        final List<String> lines = new ArrayList<>(List.of(source.split("\n", -1)));
        final int type = lines.indexOf("interface package-info");
        if (type < 0 || !lines.subList(type + 1, lines.size()).stream()
                                 .filter(l -> !l.isEmpty()).toList().equals(List.of("{", "}")))
            return source;
        int packageLine = -1;
        int lastImport = -1;
        for (int i = 0; i < type; i++) {
            final String line = lines.get(i);
            if (packageLine < 0 && line.startsWith("package ") && line.endsWith(";")) packageLine = i;
            if (line.startsWith("import ") && line.endsWith(";")) lastImport = i;
        }
        // The annotations: what stands between the imports (or the package line, or the
        // header) and the interface.
        int annotations = Math.max(lastImport, packageLine) + 1;
        if (annotations == 0) {
            while (annotations < type && lines.get(annotations).startsWith("//")) annotations++;
        }
        while (annotations < type && lines.get(annotations).isEmpty()) annotations++;

        final List<String> out = new ArrayList<>();
        if (packageLine < 0) {
            // The unnamed package takes no annotations.
            out.addAll(lines.subList(0, annotations));
            for (String line : lines.subList(annotations, type)) out.add("// " + line);
        } else {
            out.addAll(lines.subList(0, packageLine));
            out.addAll(lines.subList(annotations, type));
            out.addAll(lines.subList(packageLine, Math.max(lastImport, packageLine) + 1));
        }
        return String.join("\n", out) + "\n";
    }
}
