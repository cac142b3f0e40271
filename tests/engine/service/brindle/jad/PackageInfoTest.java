package brindle.jad;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

// Procyon's text for a package-info.class and the package-info.java made of it. The
// sources jad writes for real package-info classes are compiled by the jad tests.
public class PackageInfoTest {
    private static final String HEADER = "// \n// Decompiled by Procyon v0.6.0\n// \n\n";

    @Test
    public void thePackageDeclarationCarriesTheAnnotations() {
        final String[][] cases = {
            {"package a.b;\n\nimport x.Y;\nimport x.Z;\n\n@Y\n@Z(value = { 1, 2 },\n   name = \"n\")\ninterface package-info\n{\n}\n",
             "@Y\n@Z(value = { 1, 2 },\n   name = \"n\")\npackage a.b;\n\nimport x.Y;\nimport x.Z;\n"},
            {"package a.b;\n\ninterface package-info\n{\n}\n", "package a.b;\n"},
            {"package a.b;\n\n@Deprecated\ninterface package-info\n{\n}\n", "@Deprecated\npackage a.b;\n"},
            // The unnamed package takes no annotations: they stay as comments.
            {"import x.Y;\n\n@Y\ninterface package-info\n{\n}\n", "import x.Y;\n\n// @Y\n"},
            {"interface package-info\n{\n}\n", ""},
        };
        for (String[] c : cases) assertEquals(c[0], HEADER + c[1], PackageInfo.rewrite(HEADER + c[0]));
    }

    @Test
    public void anotherShapeIsLeftAsItIs() {
        final String withMember = HEADER + "package a;\n\ninterface package-info\n{\n    int X = 1;\n}\n";
        final String other = HEADER + "package a;\n\nclass package_info\n{\n}\n";
        assertEquals(withMember, PackageInfo.rewrite(withMember));
        assertEquals(other, PackageInfo.rewrite(other));
    }
}
