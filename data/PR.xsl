<?xml version="1.0" encoding="UTF-8"?>
<!-- The patient record: identity, demographics, guarantor, insurance, recent visits, balance. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>
  <!-- The record shows this many visits, the most recent (the server sends them newest first). -->
  <xsl:variable name="visits-shown" select="100"/>

  <xsl:template match="/PatientRecord">
    <html>
      <head>
        <title>Patient Record <xsl:value-of select="Patient/Account"/></title>
        <style type="text/css">
          body { font-family: Tahoma, "Liberation Sans", sans-serif; font-size: 10pt; color: #202020; }
          h1 { font-size: 15pt; margin: 0 0 2px 0; }
          h2 { font-size: 11pt; margin: 14px 0 4px 0; border-bottom: 1px solid #808080; }
          .practice { color: #505050; font-size: 9pt; }
          table { border-collapse: collapse; }
          td, th { padding: 2px 8px 2px 0; vertical-align: top; text-align: left; }
          th { color: #505050; font-weight: normal; }
          .grid th { border-bottom: 1px solid #a0a0a0; font-weight: bold; color: #202020; }
          .amount { text-align: right; }
        </style>
      </head>
      <body>
        <h1>Patient Record</h1>
        <div class="practice">
          <xsl:value-of select="Practice/Name"/>
          <xsl:if test="Practice/Address"> &#183; <xsl:value-of select="Practice/Address"/></xsl:if>
          <xsl:if test="Practice/Phone"> &#183; <xsl:value-of select="Practice/Phone"/></xsl:if>
        </div>
        <xsl:apply-templates select="Patient"/>
        <xsl:apply-templates select="Guarantor"/>
        <xsl:apply-templates select="Insurance"/>
        <xsl:apply-templates select="Visits"/>
        <xsl:apply-templates select="Balance"/>
        <xsl:if test="@generated">
          <p class="practice">Printed from the practice records of <xsl:value-of select="@generated"/>.</p>
        </xsl:if>
      </body>
    </html>
  </xsl:template>

  <xsl:template match="Patient">
    <h2>Patient</h2>
    <table>
      <tr><th>Account</th><td><b><xsl:value-of select="Account"/></b></td>
          <th>Status</th><td><xsl:value-of select="Status"/></td></tr>
      <tr><th>Name</th><td colspan="3"><b><xsl:value-of select="Name/Last"/>, <xsl:value-of select="Name/First"/>
          <xsl:if test="string(Name/Middle)"><xsl:text> </xsl:text><xsl:value-of select="Name/Middle"/></xsl:if></b></td></tr>
      <tr><th>Date of birth</th><td><xsl:value-of select="DOB"/></td>
          <th>Sex</th><td><xsl:value-of select="Sex"/></td></tr>
      <tr><th>SSN</th><td><xsl:call-template name="last-four"><xsl:with-param name="ssn" select="SSN"/></xsl:call-template></td>
          <th>Medical record</th><td><xsl:value-of select="MRN"/></td></tr>
      <tr><th>Address</th><td colspan="3"><xsl:value-of select="Address/Street"/>,
          <xsl:value-of select="Address/City"/>, <xsl:value-of select="Address/State"/><xsl:text> </xsl:text><xsl:value-of select="Address/Zip"/></td></tr>
      <xsl:for-each select="Phones/Phone">
        <tr><th><xsl:value-of select="@type"/> phone</th><td colspan="3"><xsl:value-of select="."/></td></tr>
      </xsl:for-each>
    </table>
  </xsl:template>

  <!-- Only the last four digits of a social security number are ever shown. -->
  <xsl:template name="last-four">
    <xsl:param name="ssn"/>
    <xsl:variable name="digits" select="translate($ssn, '- ', '')"/>
    <xsl:choose>
      <xsl:when test="string-length($digits) &gt;= 4">***-**-<xsl:value-of select="substring($digits, string-length($digits) - 3)"/></xsl:when>
      <xsl:otherwise/>
    </xsl:choose>
  </xsl:template>

  <xsl:template match="Guarantor">
    <h2>Guarantor</h2>
    <table>
      <tr><th>Name</th><td><xsl:value-of select="Name"/></td><th>Account</th><td><xsl:value-of select="Account"/></td></tr>
      <tr><th>Relation</th><td><xsl:value-of select="Relation"/></td><th>Phone</th><td><xsl:value-of select="Phone"/></td></tr>
      <tr><th>Address</th><td colspan="3"><xsl:value-of select="Address"/></td></tr>
    </table>
  </xsl:template>

  <xsl:template match="Insurance">
    <h2>Insurance</h2>
    <table class="grid">
      <tr><th>#</th><th>Payor</th><th>Policy</th><th>Group</th><th>Subscriber</th><th>Relation</th><th>Effective</th></tr>
      <xsl:for-each select="Policy">
        <tr><td><xsl:value-of select="@rank"/></td><td><xsl:value-of select="Payor"/></td>
            <td><xsl:value-of select="PolicyNumber"/></td><td><xsl:value-of select="Group"/></td>
            <td><xsl:value-of select="Subscriber"/></td><td><xsl:value-of select="Relation"/></td>
            <td><xsl:value-of select="Effective"/></td></tr>
      </xsl:for-each>
    </table>
  </xsl:template>

  <xsl:template match="Visits">
    <h2>Recent visits</h2>
    <table class="grid">
      <tr><th>Date</th><th>Provider</th><th>Reason</th><th class="amount">Charges</th><th class="amount">Payments</th></tr>
      <xsl:for-each select="Visit[position() &lt;= $visits-shown]">
        <tr><td><xsl:value-of select="Date"/></td><td><xsl:value-of select="Provider"/></td>
            <td><xsl:value-of select="Reason"/></td><td class="amount"><xsl:value-of select="Charges"/></td>
            <td class="amount"><xsl:value-of select="Payments"/></td></tr>
      </xsl:for-each>
    </table>
    <xsl:if test="count(Visit) &gt; $visits-shown">
      <p class="practice"><xsl:value-of select="count(Visit) - $visits-shown"/> earlier visits are not shown.</p>
    </xsl:if>
  </xsl:template>

  <xsl:template match="Balance">
    <h2>Balance</h2>
    <table>
      <tr><th>Total due</th><td class="amount"><b><xsl:value-of select="Total"/></b></td></tr>
      <tr><th>Insurance portion</th><td class="amount"><xsl:value-of select="Insurance"/></td></tr>
      <tr><th>Patient portion</th><td class="amount"><xsl:value-of select="Patient"/></td></tr>
      <xsl:if test="LastPayment">
        <tr><th>Last payment</th><td class="amount"><xsl:value-of select="LastPayment"/> on <xsl:value-of select="LastPayment/@date"/></td></tr>
      </xsl:if>
    </table>
  </xsl:template>
</xsl:stylesheet>
